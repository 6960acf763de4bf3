# Sourced by run.sh and test.sh: makes sure the Debian packages the build
# needs are installed (installing them when running as root), then
# configures and builds the given CMake preset.

QUORVANET_PACKAGES=(
  g++ cmake ninja-build pkg-config
  libpcap-dev libssl-dev libre2-dev
  # The capture helper drops its capabilities and sandboxes itself.
  libcap-dev libseccomp-dev
  zlib1g-dev libzstd-dev liblz4-dev
  qt6-base-dev qt6-charts-dev
  libgtest-dev libgmock-dev
  iproute2 procps xvfb xauth
  # The live DNS test's server and client (no service is started by either).
  dnsmasq-base bind9-dnsutils
  desktop-file-utils appstream libglib2.0-bin shared-mime-info
)

# Installed only when the `fuzz` preset is built: libFuzzer needs clang and its runtime.
QUORVANET_FUZZ_PACKAGES=(clang libclang-rt-dev)

quorvanet_missing_packages() {
  local p
  for p in "${QUORVANET_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      printf '%s ' "$p"
    fi
  done
}

quorvanet_install_packages() {
  local missing
  missing=$(quorvanet_missing_packages)
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y $missing" >&2
    return 1
  fi
  echo "Installing: $missing" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq $missing
}

quorvanet_build() {
  local preset=$1
  if [ "$preset" = fuzz ]; then
    QUORVANET_PACKAGES+=("${QUORVANET_FUZZ_PACKAGES[@]}")
    quorvanet_install_packages
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
}
