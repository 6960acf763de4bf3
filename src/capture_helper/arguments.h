#pragma once
// The helper's command line. The parent builds it, but nothing here trusts
// it: every number is range-checked, and anything unknown, repeated or out of
// range is an error whose text goes back to the parent.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qv::helper {

enum class Mode { List, Rights, Capture, Send };

struct Arguments {
  Mode mode = Mode::List;
  std::string adapter;
  int snaplen = 0;
  bool promisc = false;
  int timeoutMs = 0;
  std::uint64_t bufferBytes = 0;  // 0: the library's default
  std::optional<std::string> filter;
};

inline constexpr int kMaxSnaplen = 262144;
inline constexpr int kMaxTimeoutMs = 60000;
inline constexpr std::uint64_t kMinBufferBytes = 65536;
inline constexpr std::uint64_t kMaxBufferBytes = std::uint64_t{1} << 31;

struct ParsedArguments {
  std::optional<Arguments> arguments;
  std::string error;  // set when arguments is empty
};

// args: argv[1..].
ParsedArguments ParseArguments(std::span<const char* const> args);

}  // namespace qv::helper
