#include "capture_helper/rights_drop.h"

#include <sys/capability.h>
#include <sys/prctl.h>

#include <cerrno>
#include <cstring>

namespace qv::helper {
namespace {

std::string SystemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Ambient capabilities are cleared with prctl; a kernel without them (before
// 4.3) has none to clear.
std::string ClearAmbient() {
  if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL) {
    return SystemError("Cannot clear the ambient capabilities");
  }
  return {};
}

class CapState {
 public:
  CapState() : caps_(cap_get_proc()) {}
  ~CapState() {
    if (caps_) cap_free(caps_);
  }
  CapState(const CapState&) = delete;
  CapState& operator=(const CapState&) = delete;
  cap_t Get() const { return caps_; }

 private:
  cap_t caps_;
};

bool Has(cap_t caps, cap_value_t cap, cap_flag_t flag) {
  cap_flag_value_t value = CAP_CLEAR;
  return cap_get_flag(caps, cap, flag, &value) == 0 && value == CAP_SET;
}

// The bounding set needs CAP_SETPCAP to shrink, so it goes while a root
// helper still has that; a helper with only cap_net_raw cannot touch it, and
// with no_new_privs set and nothing permitted it gains nothing from it.
std::string DropBoundingSet() {
  CapState now;
  if (!now.Get() || !Has(now.Get(), CAP_SETPCAP, CAP_EFFECTIVE)) return {};
  for (cap_value_t cap = 0; CAP_IS_SUPPORTED(cap); ++cap) {
    if (cap_drop_bound(cap) != 0) return SystemError("Cannot shrink the capability bounding set");
  }
  return {};
}

}  // namespace

std::string KeepOnlyNetRaw() {
  // The bounding set only limits what an exec could gain; CAP_NET_RAW stays
  // permitted and effective without it.
  if (std::string error = DropBoundingSet(); !error.empty()) return error;
  CapState now;
  if (!now.Get()) return SystemError("Cannot read the process's capabilities");
  const bool permitted = Has(now.Get(), CAP_NET_RAW, CAP_PERMITTED);
  cap_t keep = cap_init();  // all clear
  if (!keep) return SystemError("Cannot build a capability set");
  if (permitted) {
    const cap_value_t raw[] = {CAP_NET_RAW};
    if (cap_set_flag(keep, CAP_PERMITTED, 1, raw, CAP_SET) != 0 ||
        cap_set_flag(keep, CAP_EFFECTIVE, 1, raw, CAP_SET) != 0) {
      cap_free(keep);
      return SystemError("Cannot build a capability set");
    }
  }
  const int rc = cap_set_proc(keep);
  cap_free(keep);
  if (rc != 0) return SystemError("Cannot give up capabilities other than cap_net_raw");
  return ClearAmbient();
}

std::string DropAllCapabilities() {
  if (std::string error = DropBoundingSet(); !error.empty()) return error;
  if (std::string error = ClearAmbient(); !error.empty()) return error;
  cap_t none = cap_init();
  if (!none) return SystemError("Cannot build a capability set");
  const int rc = cap_set_proc(none);
  cap_free(none);
  if (rc != 0) return SystemError("Cannot drop the capabilities");

  CapState after;
  if (!after.Get()) return SystemError("Cannot read the process's capabilities");
  cap_t empty = cap_init();
  const int differs = empty ? cap_compare(after.Get(), empty) : 1;
  if (empty) cap_free(empty);
  if (differs != 0) return "Capabilities are still held after dropping them";
  return {};
}

}  // namespace qv::helper
