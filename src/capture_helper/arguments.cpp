#include "capture_helper/arguments.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace qv::helper {
namespace {

// Plain decimal digits only: no sign, no spaces, no hex, no trailing bytes.
std::optional<std::uint64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

ParsedArguments Fail(std::string error) { return ParsedArguments{std::nullopt, std::move(error)}; }

std::string Shown(std::string_view text) {
  // Arguments echoed back are cut short; the parent shows them to a person.
  constexpr std::size_t kShown = 80;
  std::string out(text.substr(0, kShown));
  if (text.size() > kShown) out += "...";
  return out;
}

}  // namespace

ParsedArguments ParseArguments(std::span<const char* const> args) {
  if (args.empty() || args[0] == nullptr) return Fail("No mode given: list, rights, capture or send");
  const std::string_view mode = args[0];
  Arguments out;
  if (mode == "list") {
    out.mode = Mode::List;
  } else if (mode == "rights") {
    out.mode = Mode::Rights;
  } else if (mode == "capture") {
    out.mode = Mode::Capture;
  } else if (mode == "send") {
    out.mode = Mode::Send;
  } else {
    return Fail("Unknown mode \"" + Shown(mode) + "\": list, rights, capture or send");
  }

  bool haveAdapter = false, haveSnaplen = false, havePromisc = false, haveTimeout = false, haveBuffer = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == nullptr) break;
    const std::string_view option = args[i];
    const bool capture = out.mode == Mode::Capture;
    const bool takesAdapter = capture || out.mode == Mode::Send;
    const bool known = (takesAdapter && option == "--adapter") ||
                       (capture && (option == "--snaplen" || option == "--promisc" || option == "--timeout" ||
                                    option == "--buffer" || option == "--filter"));
    if (!known) return Fail("Unknown argument \"" + Shown(option) + "\" for " + std::string(mode));
    if (i + 1 >= args.size() || args[i + 1] == nullptr) return Fail(std::string(option) + " needs a value");
    const std::string_view value = args[++i];
    const auto number = Number(value);
    auto bad = [&](const char* range) {
      return Fail(std::string(option) + " must be " + range + ", not \"" + Shown(value) + "\"");
    };
    auto repeated = [&](bool& seen) {
      if (seen) return true;
      seen = true;
      return false;
    };
    if (option == "--adapter") {
      if (repeated(haveAdapter)) return Fail("--adapter is given twice");
      if (value.empty() || value.size() > 255 || value.find('\0') != std::string_view::npos) {
        return Fail("--adapter needs an adapter name");
      }
      out.adapter = std::string(value);
    } else if (option == "--snaplen") {
      if (repeated(haveSnaplen)) return Fail("--snaplen is given twice");
      if (!number || *number < 1 || *number > kMaxSnaplen) return bad("1 to 262144");
      out.snaplen = static_cast<int>(*number);
    } else if (option == "--promisc") {
      if (repeated(havePromisc)) return Fail("--promisc is given twice");
      if (value != "0" && value != "1") return bad("0 or 1");
      out.promisc = value == "1";
    } else if (option == "--timeout") {
      if (repeated(haveTimeout)) return Fail("--timeout is given twice");
      if (!number || *number < 1 || *number > kMaxTimeoutMs) return bad("1 to 60000 milliseconds");
      out.timeoutMs = static_cast<int>(*number);
    } else if (option == "--buffer") {
      if (repeated(haveBuffer)) return Fail("--buffer is given twice");
      if (!number || (*number != 0 && (*number < kMinBufferBytes || *number > kMaxBufferBytes))) {
        return bad("0 (the library's default) or 65536 to 2147483648 bytes");
      }
      out.bufferBytes = *number;
    } else {  // --filter
      if (out.filter) return Fail("--filter is given twice");
      if (value.size() > 65536) return Fail("--filter is longer than 65536 bytes");
      out.filter = std::string(value);
    }
  }

  if ((out.mode == Mode::Capture || out.mode == Mode::Send) && !haveAdapter) return Fail("--adapter is missing");
  if (out.mode == Mode::Capture) {
    if (!haveSnaplen) return Fail("--snaplen is missing");
    if (!havePromisc) return Fail("--promisc is missing");
    if (!haveTimeout) return Fail("--timeout is missing");
    if (!haveBuffer) return Fail("--buffer is missing");
  }
  return ParsedArguments{out, {}};
}

}  // namespace qv::helper
