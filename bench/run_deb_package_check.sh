#!/usr/bin/env bash
# Builds the Debian package from a release build, installs it on this
# machine, checks the capture rights it sets up (the group; cap_net_raw and
# mode 0750 on the capture helper only; the two programs plain) by running
# the helper and quorvanet-cli as a member of the group without root and as
# a user outside it, then purges the package and checks that nothing is left.
#
# Needs root (dpkg, useradd). Refuses to run when a quorvanet package is
# already installed. The two users it makes are named after its process id
# and are removed at the end, as is the package, also when a check fails.
# Nothing is sent on any network: the doctor only opens adapters and closes
# them again.
#
#   bench/run_deb_package_check.sh            # build, package, install, check, remove
#   bench/run_deb_package_check.sh FILE.deb   # check a package that is already built
#   UPGRADE_FROM=OLD.deb bench/run_deb_package_check.sh [FILE.deb]
#       # install OLD.deb first, so that the package is checked as an upgrade
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
  echo "run_deb_package_check: needs root (it installs and removes the package)" >&2
  exit 2
fi
if dpkg-query -W -f='${Status}' quorvanet 2>/dev/null | grep -q 'install ok installed'; then
  echo "run_deb_package_check: a quorvanet package is installed already; not touching it" >&2
  exit 2
fi

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@" >/tmp/qv-deb-check.$$ 2>&1; then
    passed=$((passed + 1))
    echo "PASS  $what"
  else
    failed=$((failed + 1))
    echo "FAIL  $what"
    sed 's/^/      /' /tmp/qv-deb-check.$$ | head -20
  fi
}
now() { date +%s.%N; }
took() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f s", b - a }'; }

member=qvm$$
outsider=qvo$$
cleanup() {
  userdel "$member" 2>/dev/null || true
  userdel "$outsider" 2>/dev/null || true
  if dpkg-query -W quorvanet >/dev/null 2>&1; then dpkg --purge quorvanet >/dev/null 2>&1 || true; fi
  rm -f /tmp/qv-deb-check.$$
}
trap cleanup EXIT

deb=${1:-}
if [ -z "$deb" ]; then
  source scripts/setup.sh
  quorvanet_install_packages
  # dpkg-shlibdeps computes the package's dependencies.
  if ! command -v dpkg-shlibdeps >/dev/null; then apt-get install -y -qq dpkg-dev; fi
  t=$(now)
  quorvanet_build release >/dev/null
  echo "release build: $(took "$t")"
  t=$(now)
  (cd build/release && cpack -G DEB >/dev/null)
  deb=$(ls -t build/release/quorvanet_*.deb | head -1)
  echo "cpack -G DEB: $(took "$t") -> $deb ($(stat -c %s "$deb") bytes)"
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
check "dependencies computed from the libraries (libpcap, Qt widgets)" \
  sh -c "echo '$depends' | grep -q 'libpcap0.8' && echo '$depends' | grep -q 'libqt6widgets6'"

if [ -n "${UPGRADE_FROM:-}" ]; then
  check "the earlier package installs" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(realpath "$UPGRADE_FROM")"
fi
t=$(now)
check "the package installs" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(realpath "$deb")"
echo "install: $(took "$t")"
check "no mode override is left on the two programs" \
  sh -c "! dpkg-statoverride --list /usr/bin/quorvanet && ! dpkg-statoverride --list /usr/bin/quorvanet-cli"

check "postinst created the group quorvanet" getent group quorvanet
helper=/usr/lib/quorvanet/quorvanet-capture
check "$helper: mode 0750, owner root, group quorvanet" \
  sh -c "[ \"\$(stat -c '%a %U %G' $helper)\" = '750 root quorvanet' ]"
check "$helper: capability cap_net_raw=ep and no other" \
  sh -c "getcap $helper | grep -q 'cap_net_raw=ep\$'"
for program in /usr/bin/quorvanet /usr/bin/quorvanet-cli; do
  check "$program: mode 0755, owner root, group root" \
    sh -c "[ \"\$(stat -c '%a %U %G' $program)\" = '755 root root' ]"
  check "$program: no capability" sh -c "[ -z \"\$(getcap $program)\" ]"
done
check "desktop entry, metainfo, MIME package, icon, man page and data in place" \
  test -f /usr/share/applications/com.brenmoor.Quorvanet.desktop \
  -a -f /usr/share/metainfo/com.brenmoor.Quorvanet.metainfo.xml \
  -a -f /usr/share/mime/packages/com.brenmoor.Quorvanet.xml \
  -a -f /usr/share/icons/hicolor/scalable/apps/com.brenmoor.Quorvanet.svg \
  -a -f /usr/share/man/man1/quorvanet-cli.1.gz \
  -a -f /usr/share/quorvanet/quorvanet-help.html \
  -a -f /usr/share/quorvanet/samples/demo.pcap

useradd --no-create-home --shell /bin/sh --groups quorvanet "$member"
useradd --no-create-home --shell /bin/sh "$outsider"

# Runs the helper's rights mode as USER the way the programs start it (a
# socket as descriptor 3), prints its answer's flags and detail line, and
# succeeds when the flags hold cap_net_raw (permitted, effective) and a
# packet socket opened.
helper_may_capture() {  # helper_may_capture USER
  local out flags
  out=$(runuser -u "$1" -- perl -MSocket -MPOSIX -e '
    socketpair(my $parent, my $child, AF_UNIX, SOCK_STREAM, 0) or die "socketpair: $!";
    my $pid = fork() // die "fork: $!";
    if ($pid == 0) {
      close $parent;
      open(STDIN, "<", "/dev/null");
      POSIX::dup2(fileno($child), 3) or die "dup2: $!";
      exec { $ARGV[0] } $ARGV[0], "rights" or die "exec: $!";
    }
    close $child;
    local $/;
    my $answer = <$parent> // "";
    waitpid($pid, 0);
    my ($type, $length, $flags, $textLength) = unpack("V V V V", $answer);
    die "no Rights message\n" unless defined $type && $type == 9;
    printf "flags=%d %s\n", $flags, substr($answer, 16, $textLength);
  ' "$helper") || return 1
  echo "$out"
  flags=${out#flags=}
  flags=${flags%% *}
  [ $((flags & 7)) -eq 7 ]
}

# A member captures on a veth pair of a namespace made here: quorvanet-cli
# and its capture helper must hold no effective capability while the frames
# come in (the helper gives up cap_net_raw once the adapter is open). Root
# sends the frames from the pair's other end; they go nowhere else.
member_captures_on_veth() {  # member_captures_on_veth USER
  local ns=qvdeb$$ out cache pid p status=0
  ip netns add "$ns" || return 1
  if ! ip -n "$ns" link add qv0 type veth peer name qv1 || ! ip -n "$ns" link set qv0 up ||
    ! ip -n "$ns" link set qv1 up; then
    ip netns del "$ns"
    return 1
  fi
  out=$(mktemp)
  # The users made here have no home: the helper's file goes to a cache folder of the member's.
  cache=$(mktemp -d)
  chown "$1" "$cache"
  ip netns exec "$ns" timeout 20 runuser -u "$1" -- env XDG_CACHE_HOME="$cache" /usr/bin/quorvanet-cli -i qv0 -c 20 -q \
    -f 'ether proto 0x88b5' > "$out" 2>&1 &
  pid=$!
  sleep 2
  for p in $(pgrep -u "$1" -x quorvanet-cli) $(pgrep -u "$1" -f /quorvanet-capture); do
    echo "pid $p ($(cat /proc/$p/comm)): $(grep CapEff /proc/$p/status)"
    grep -q '^CapEff:[[:space:]]*0000000000000000$' "/proc/$p/status" || status=1
  done
  [ -n "$(pgrep -u "$1" -f /quorvanet-capture)" ] || { echo "no capture helper runs"; status=1; }
  ip netns exec "$ns" perl -MSocket -e '
    open(my $f, "<", "/sys/class/net/qv1/ifindex") or die "ifindex: $!";
    my $index = <$f> + 0;
    socket(my $s, 17, 3, 0) or die "packet socket: $!";    # AF_PACKET, SOCK_RAW
    my $to = pack("S n i S C C a8", 17, 0x88b5, $index, 0, 0, 6, "\x02\x51\x56\x00\x00\x10");
    my $frame = "\x02\x51\x56\x00\x00\x10\x02\x51\x56\x00\x00\x01\x88\xb5" . ("\0" x 46);
    for (1 .. 30) { send($s, $frame, 0, $to) or die "send: $!"; select(undef, undef, undef, 0.01); }
  ' || status=1
  wait "$pid" || status=1
  ip netns del "$ns"
  cat "$out"
  grep -q '^20 packets' "$out" || status=1
  rm -rf "$out" "$cache"
  return $status
}

check "a member lists the adapters without root (quorvanet-cli -D)" \
  sh -c "out=\$(runuser -u $member -- /usr/bin/quorvanet-cli -D) && [ -n \"\$out\" ] && echo \"\$out\""
check "a member's capture helper holds cap_net_raw and opens a packet socket" helper_may_capture "$member"
check "a member's doctor opens adapters through the capture helper" \
  sh -c "out=\$(runuser -u $member -- /usr/bin/quorvanet-cli --doctor); echo \"\$out\";
         echo \"\$out\" | grep -q '^  ok ' && echo \"\$out\" | grep -q 'a member, active in this login session'"
check "a member reads the installed sample capture" \
  sh -c "runuser -u $member -- /usr/bin/quorvanet-cli -q -r /usr/share/quorvanet/samples/demo.pcap | grep -q ' packets, '"
check "a user outside the group who lists the adapters is told to join the group (quorvanet-cli -D)" \
  sh -c "out=\$(runuser -u $outsider -- /usr/bin/quorvanet-cli -D 2>&1); echo \"\$out\";
         echo \"\$out\" | grep -q 'usermod -aG quorvanet'"
check "a member captures on veth with neither program nor helper holding a capability" member_captures_on_veth "$member"
check "a user outside the group reads the installed sample capture" \
  sh -c "runuser -u $outsider -- /usr/bin/quorvanet-cli -q -r /usr/share/quorvanet/samples/demo.pcap | grep -q ' packets, '"
check "a user outside the group may not run the capture helper" \
  sh -c "! runuser -u $outsider -- $helper rights"
check "the installed desktop entry is valid" \
  sh -c "! command -v desktop-file-validate >/dev/null || desktop-file-validate /usr/share/applications/com.brenmoor.Quorvanet.desktop"
check "man finds quorvanet-cli(1)" sh -c "! command -v man >/dev/null || man -w quorvanet-cli"

userdel "$member"
userdel "$outsider"
t=$(now)
check "the package purges" dpkg --purge quorvanet
echo "purge: $(took "$t")"
check "no file of the package is left" \
  sh -c "! ls /usr/bin/quorvanet /usr/bin/quorvanet-cli /usr/lib/quorvanet /usr/share/quorvanet /usr/share/applications/com.brenmoor.Quorvanet.desktop 2>/dev/null | grep ."
check "no mode override is left" sh -c "! dpkg-statoverride --list | grep -q quorvanet"
check "the emptied group is gone" sh -c "! getent group quorvanet"

echo "deb package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
