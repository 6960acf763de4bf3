// Every test program starts the capture helper of this build, unless the
// environment already names one.

#include <cstdlib>

namespace {

struct HelperFromThisBuild {
  HelperFromThisBuild() { ::setenv("QUORVANET_CAPTURE_HELPER", QUORVANET_HELPER_PATH, 0); }
};
const HelperFromThisBuild helperFromThisBuild;

}  // namespace
