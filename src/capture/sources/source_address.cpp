#include "capture/sources/source_address.h"

#include <charconv>

namespace qv {

namespace {

constexpr std::string_view kSshScheme = "ssh://";

SourceParse ParseRemote(std::string_view text) {
  SourceParse out;
  out.address.kind = SourceKind::Remote;
  out.address.text = std::string(text);
  std::string_view rest = text.substr(kSshScheme.size());
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos || slash + 1 >= rest.size()) {
    out.error = "the address " + std::string(text) + " names no adapter (ssh://[USER@]HOST[:PORT]/ADAPTER)";
    return out;
  }
  RemoteTarget& target = out.address.remote;
  target.adapter = std::string(rest.substr(slash + 1));
  std::string_view authority = rest.substr(0, slash);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    target.user = std::string(authority.substr(0, at));
    authority = authority.substr(at + 1);
  }
  // [v6 address]:port, or host:port, or a bare host.
  std::string_view host = authority;
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) {
      out.error = "the address " + std::string(text) + " has an unclosed '['";
      return out;
    }
    host = authority.substr(1, close - 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') {
        out.error = "the address " + std::string(text) + " has text after its host";
        return out;
      }
      port = after.substr(1);
    }
  } else if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) {
    out.error = "the address " + std::string(text) + " names no host";
    return out;
  }
  // Whatever goes on ssh's command line must not read as one of its options.
  if (host.front() == '-' || (!target.user.empty() && target.user.front() == '-')) {
    out.error = "the address " + std::string(text) + " has a host or user starting with '-'";
    return out;
  }
  target.host = std::string(host);
  if (!port.empty()) {
    int value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc{} || end != port.data() + port.size() || value < 1 || value > 65535) {
      out.error = "the address " + std::string(text) + " has a bad port";
      return out;
    }
    target.port = value;
  }
  return out;
}

}  // namespace

SourceParse ParseSourceAddress(std::string_view text) {
  if (text.starts_with(kSshScheme)) return ParseRemote(text);
  SourceParse out;
  out.address.text = std::string(text);
  if (text == "-") {
    out.address.kind = SourceKind::StandardInput;
  } else if (text.find('/') != std::string_view::npos) {
    out.address.kind = SourceKind::Pipe;
  } else {
    out.address.kind = SourceKind::Adapter;
  }
  return out;
}

std::string RemoteUrl(const RemoteTarget& target) {
  std::string url(kSshScheme);
  if (!target.user.empty()) url += target.user + "@";
  if (target.host.find(':') != std::string::npos) {
    url += "[" + target.host + "]";
  } else {
    url += target.host;
  }
  if (target.port != 0) url += ":" + std::to_string(target.port);
  url += "/" + target.adapter;
  return url;
}

std::string SourceDisplayName(const SourceAddress& address) {
  switch (address.kind) {
    case SourceKind::Remote:
      return address.remote.host + ": " + address.remote.adapter;
    case SourceKind::StandardInput:
      return "standard input";
    case SourceKind::Pipe:
    case SourceKind::Adapter:
      break;
  }
  return address.text;
}

}  // namespace qv
