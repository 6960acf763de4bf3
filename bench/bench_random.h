#pragma once
// The benchmark generators' random numbers: xoshiro256** seeded through
// splitmix64, small, fast and the same on every machine, so a capture of N
// frames is the same file wherever it is written.

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace qv::bench {

class Random {
 public:
  explicit Random(std::uint64_t seed) {
    for (auto& word : s_) {
      seed += 0x9e3779b97f4a7c15ULL;
      std::uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
      word = z ^ (z >> 31);
    }
  }
  std::uint64_t Next() {
    const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }
  // Uniform in [0, n).
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(((Next() >> 32) * n) >> 32); }
  // Uniform in [lo, hi].
  std::uint32_t Between(std::uint32_t lo, std::uint32_t hi) { return lo + Below(hi - lo + 1); }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  bool Chance(double p) { return Unit() < p; }
  // Exponentially distributed with the given mean.
  double Exponential(double mean) { return -mean * std::log(1.0 - Unit()); }
  // n random bytes.
  void Fill(std::uint8_t* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(Next() >> 56);
  }

 private:
  static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::uint64_t s_[4];
};

}  // namespace qv::bench
