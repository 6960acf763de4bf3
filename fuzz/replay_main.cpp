// A stand-in for libFuzzer's driver, for builds with a compiler that has no
// libFuzzer (the sanitizer test build uses g++). It feeds the target every
// seed file of the directories given, then a fixed number of inputs made
// from the seeds by deterministic mutations, so a fault once found by a long
// search keeps being found by every test run.
//
//   <target> [--runs=N] [--seed=S] DIR_OR_FILE...
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

using Input = std::vector<std::uint8_t>;

// Largest input a mutation may grow; libFuzzer's default limit is similar.
constexpr std::size_t kMaxInput = 4096;

struct Rng {
  std::uint64_t state;
  std::uint64_t Next() {
    // xorshift64*: fast, and the same sequence on every machine.
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1DULL;
  }
  std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(Next() % n); }
};

Input ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Input(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Values that make length and offset fields interesting.
constexpr std::uint8_t kMagic[] = {0x00, 0x01, 0x7F, 0x80, 0xFF, 0xFE, 0x40, 0x05, 0x06, 0x11, 0x2C, 0x3A};

void Mutate(Input& in, const std::vector<Input>& pool, Rng& rng) {
  const int steps = 1 + static_cast<int>(rng.Below(4));
  for (int s = 0; s < steps; ++s) {
    switch (rng.Below(8)) {
      case 0:  // flip a bit
        if (!in.empty()) in[rng.Below(in.size())] ^= static_cast<std::uint8_t>(1u << rng.Below(8));
        break;
      case 1:  // set a byte to an interesting value
        if (!in.empty()) in[rng.Below(in.size())] = kMagic[rng.Below(sizeof kMagic)];
        break;
      case 2:  // random byte
        if (!in.empty()) in[rng.Below(in.size())] = static_cast<std::uint8_t>(rng.Next());
        break;
      case 3:  // cut the tail
        if (!in.empty()) in.resize(rng.Below(in.size()));
        break;
      case 4:  // erase a run
        if (!in.empty()) {
          const std::size_t at = rng.Below(in.size());
          const std::size_t n = 1 + rng.Below(std::min<std::size_t>(16, in.size() - at));
          in.erase(in.begin() + static_cast<std::ptrdiff_t>(at), in.begin() + static_cast<std::ptrdiff_t>(at + n));
        }
        break;
      case 5:  // insert random bytes
        if (in.size() < kMaxInput) {
          const std::size_t at = rng.Below(in.size() + 1);
          const std::size_t n = 1 + rng.Below(8);
          Input bytes(n);
          for (auto& b : bytes) b = static_cast<std::uint8_t>(rng.Next());
          in.insert(in.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
        }
        break;
      case 6:  // a 16-bit field at its largest or smallest
        if (in.size() >= 2) {
          const std::size_t at = rng.Below(in.size() - 1);
          const std::uint8_t v = rng.Below(2) ? 0xFF : 0x00;
          in[at] = v;
          in[at + 1] = v;
        }
        break;
      default:  // splice in part of another seed
        if (!pool.empty()) {
          const Input& other = pool[rng.Below(pool.size())];
          if (!other.empty()) {
            const std::size_t from = rng.Below(other.size());
            const std::size_t n = 1 + rng.Below(other.size() - from);
            const std::size_t at = rng.Below(in.size() + 1);
            in.insert(in.begin() + static_cast<std::ptrdiff_t>(at), other.begin() + static_cast<std::ptrdiff_t>(from),
                      other.begin() + static_cast<std::ptrdiff_t>(from + n));
          }
        }
        break;
    }
  }
  if (in.size() > kMaxInput) in.resize(kMaxInput);
}

// The input under test, written out when the target aborts (a failed check)
// or a sanitizer reports a fault, so that the fault can be replayed and kept
// as a seed.
const Input* current = nullptr;

extern "C" void DumpCurrentInput(int) {
  if (current != nullptr) {
    if (FILE* out = std::fopen("crash-input", "wb")) {
      std::fwrite(current->data(), 1, current->size(), out);
      std::fclose(out);
      std::fprintf(stderr, "the failing input was written to crash-input\n");
    }
  }
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

}  // namespace

extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  long runs = 10000;
  std::uint64_t seed = 0x5EED;
  std::vector<Input> pool;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--runs=", 0) == 0) {
      runs = std::strtol(arg.c_str() + 7, nullptr, 10);
    } else if (arg.rfind("--seed=", 0) == 0) {
      seed = std::strtoull(arg.c_str() + 7, nullptr, 10);
    } else if (std::filesystem::is_directory(arg)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());  // the same order, and so the same mutations, everywhere
      for (const auto& f : files) pool.push_back(ReadFile(f));
    } else if (std::filesystem::is_regular_file(arg)) {
      pool.push_back(ReadFile(arg));
    } else {
      std::fprintf(stderr, "no such seed file or directory: %s\n", arg.c_str());
      return 2;
    }
  }
  if (pool.empty()) {
    std::fprintf(stderr, "no seeds\n");
    return 2;
  }
  std::signal(SIGABRT, DumpCurrentInput);
  if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback([] { DumpCurrentInput(0); });
  for (const Input& in : pool) {
    current = &in;
    LLVMFuzzerTestOneInput(in.data(), in.size());
  }
  Rng rng{seed == 0 ? 1 : seed};
  for (long r = 0; r < runs; ++r) {
    Input in = pool[rng.Below(pool.size())];
    Mutate(in, pool, rng);
    current = &in;
    LLVMFuzzerTestOneInput(in.data(), in.size());
  }
  current = nullptr;
  std::printf("%zu seeds and %ld mutations ran clean\n", pool.size(), runs);
  return 0;
}
