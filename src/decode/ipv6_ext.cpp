#include "decode/ipv6_ext.h"

namespace qv {}  // namespace qv
