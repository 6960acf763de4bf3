#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test. Live-capture tests create
# their own network namespace and skip when the process may not.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
quorvanet_install_packages
quorvanet_build test
export QT_QPA_PLATFORM=offscreen
ctest --preset test "$@"
