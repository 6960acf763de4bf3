# Sourced by the benchmark scripts that need a wire (from the source root).
#
# make_veth_namespace NS: creates the network namespace NS holding the veth
# pair qv0 (02:51:56:00:00:10) and qv1 (02:51:56:00:00:11), both up. Frames
# sent on one end arrive at the other and go nowhere else. The caller removes
# NS (ip netns del) when it exits.
make_veth_namespace() {
  local ns=$1
  ip netns add "$ns"
  ip -n "$ns" link add qv0 address 02:51:56:00:00:10 type veth peer name qv1 address 02:51:56:00:00:11
  ip -n "$ns" link set qv0 up
  ip -n "$ns" link set qv1 up
}
