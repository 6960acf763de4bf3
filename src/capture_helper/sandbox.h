#pragma once
// The helper's system-call allow-list (seccomp, through libseccomp), put in
// place once the adapter is open, the capabilities are gone and the first
// filter is set. What the capture and send loops call is allowed; anything
// else ends the process at once.

#include <string>

namespace qv::helper {

// Empty on success, else why the allow-list could not be put in place (the
// caller then stops: the helper never runs without it).
std::string InstallSandbox();

// Whether this kernel and libseccomp can put a filter in place.
bool SandboxAvailable();

}  // namespace qv::helper
