#!/usr/bin/env bash
# Remakes the captures of real programs kept under tests/decode/data/ and the
# values tshark shows for them (app_captures_tshark.tsv), which
# tests/decode/app_capture_test.cpp compares with our decoders.
#
#   sudo tools/make_app_captures.sh [OUTDIR]     (default: tests/decode/data)
#   tools/make_app_captures.sh --values-only [OUTDIR]
#                      only tshark's values again, from the captures kept in OUTDIR
#
# Needs root, iproute2, tcpdump, tshark (editcap), dnsmasq (dnsmasq-base),
# dig (bind9-dnsutils), dhclient (isc-dhcp-client), curl, openssl, python3 and
# ethtool. All traffic stays inside two network namespaces the script makes
# for itself and removes at the end: "server" holds qv0 (192.0.2.1,
# fd00:51::1), where every capture is taken, "client" holds qv1 (DHCP first,
# then 192.0.2.2, fd00:51::2). Every server runs under `timeout`, every
# client with a bounded number of tries.
#
# The captures:
#   app_dns.pcap        dig against dnsmasq: A, AAAA over IPv6, and a TXT record
#                       too long for 512 bytes, truncated over UDP and asked
#                       again over TCP
#   app_dhcp.pcap       dhclient against dnsmasq: DISCOVER, OFFER, REQUEST, ACK
#                       (dhclient runs no configuration script: /bin/true)
#   app_http.pcap       curl over HTTP/1.1 to Python's http.server (200, 404)
#   app_tls12.pcap      curl --tlsv1.2 --tls-max 1.2 to openssl s_server -WWW
#   app_tls13.pcap      curl --tlsv1.3 to the same server
#   app_tls_alpn.pcap   openssl s_client -alpn h2,http/1.1 -servername ...
#
# tshark's values are taken frame by frame with TCP reassembly off, as our
# decoders see a frame: one row per capture, frame and field, the values of
# several occurrences joined by commas (empty: tshark shows none). A frame
# that shows none of its capture's fields has one row, with the field "*".
set -euo pipefail

values_only=0
if [ "${1:-}" = --values-only ]; then
  values_only=1
  shift
fi
out=${1:-"$(cd "$(dirname "$0")/.." && pwd)/tests/decode/data"}

# --- tshark's values of the kept captures ---
dns_fields="dns.id dns.flags.response dns.flags.truncated dns.count.queries dns.count.answers dns.qry.name dns.qry.type
  dns.resp.name dns.resp.type dns.resp.ttl dns.a dns.aaaa dns.txt dns.txt.length dns.length"
dhcp_fields="dhcp.type dhcp.id dhcp.hw.mac_addr dhcp.ip.client dhcp.ip.your dhcp.option.type dhcp.option.dhcp
  dhcp.option.requested_ip_address dhcp.option.dhcp_server_id dhcp.option.hostname dhcp.option.request_list_item
  dhcp.option.subnet_mask dhcp.option.router dhcp.option.domain_name_server dhcp.option.domain_name
  dhcp.option.ip_address_lease_time"
http_fields="http.request.method http.request.uri http.request.version http.host http.user_agent http.response.version
  http.response.code http.response.phrase http.server http.content_type http.content_length_header"
tls_fields="tls.record.content_type tls.record.opaque_type tls.record.version tls.handshake.type tls.handshake.version
  tls.handshake.ciphersuite tls.handshake.extension.type tls.handshake.extensions_server_name
  tls.handshake.extensions_alpn_str tls.handshake.extensions.supported_version"

write_values() {
  local tsv="$out/app_captures_tshark.tsv" c
  printf '# capture\tframe\tfield\ttshark -T fields value (TCP reassembly off)\n' >"$tsv"
  values() {
    local name=$1 fields=$2 args=() f
    for f in $fields; do args+=(-e "$f"); done
    tshark -r "$out/$name" -o tcp.desegment_tcp_streams:FALSE -T fields -E separator=/t -e frame.number "${args[@]}" \
      2>/dev/null |
      awk -F'\t' -v name="$name" -v fields="$fields" \
        'BEGIN { n = split(fields, f, " ") }
         {
           shown = 0
           for (i = 2; i <= n + 1; ++i) if ($i != "") shown = 1
           if (!shown) { printf "%s\t%s\t*\t\n", name, $1; next }
           for (i = 1; i <= n; ++i) printf "%s\t%s\t%s\t%s\n", name, $1, f[i], $(i + 1)
         }' >>"$tsv"
  }
  values app_dns.pcap "$dns_fields"
  values app_dhcp.pcap "$dhcp_fields"
  values app_http.pcap "$http_fields"
  for c in app_tls12 app_tls13 app_tls_alpn; do values "$c.pcap" "$tls_fields"; done
  ls -l "$out"/app_*.pcap "$tsv"
}
if [ "$values_only" -eq 1 ]; then
  write_values
  exit 0
fi

[ "$(id -u)" -eq 0 ] || { echo "make_app_captures.sh: needs root (network namespaces)" >&2; exit 1; }
for tool in ip tcpdump tshark editcap dnsmasq dig dhclient curl openssl python3 ethtool; do
  command -v "$tool" >/dev/null || { echo "make_app_captures.sh: $tool is missing" >&2; exit 1; }
done

server=qvapps$$
client=qvappc$$
work=$(mktemp -d)
pids=()
cleanup() {
  local p ns
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  # Whatever else still runs in the two namespaces was started here (a
  # dhclient gone to the background, a tcpdump left by a failed step).
  for ns in "$server" "$client"; do
    for p in $(ip netns pids "$ns" 2>/dev/null); do kill "$p" 2>/dev/null || true; done
  done
  wait 2>/dev/null || true
  ip netns del "$server" 2>/dev/null || true
  ip netns del "$client" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# In the namespaces. Background servers call `ip netns exec` directly, so that
# their job's process id is the server's own (ip execs the command).
S() { ip netns exec "$server" "$@"; }
C() { ip netns exec "$client" "$@"; }

# --- the two namespaces and the veth pair between them ---
ip netns add "$server"
ip netns add "$client"
ip -n "$server" link add qv0 address 02:51:56:00:00:10 type veth peer name qv1 address 02:51:56:00:00:11
ip -n "$server" link set qv1 netns "$client"
for ns in "$server" "$client"; do
  ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=0 net.ipv6.conf.default.disable_ipv6=0
  ip -n "$ns" link set lo up
done
# Checksums computed by the stack, so that the captured frames hold the real ones.
S ethtool -K qv0 tx off >/dev/null
C ethtool -K qv1 tx off >/dev/null
S ip link set qv0 up
C ip link set qv1 up
S ip addr add 192.0.2.1/24 brd + dev qv0
S ip addr add fd00:51::1/64 dev qv0 nodad

# --- the servers ---
# A TXT record of three strings, 600 bytes in all: its answer does not fit a
# 512-byte UDP message.
long1=$(printf 'quorvanet-long-text-one-%0176d' 0)
long2=$(printf 'quorvanet-long-text-two-%0176d' 0)
long3=$(printf 'quorvanet-long-text-three-%0174d' 0)
ip netns exec "$server" timeout 120 dnsmasq --keep-in-foreground --conf-file=/dev/null --no-resolv --no-hosts --no-poll \
  --user=root --group=root --pid-file="$work/dnsmasq.pid" --bind-interfaces --interface=qv0 \
  --domain=example.test --local-ttl=300 --host-record=www.example.test,192.0.2.80,2001:db8::80 \
  --txt-record=long.example.test,"$long1","$long2","$long3" \
  --dhcp-range=192.0.2.100,192.0.2.150,255.255.255.0,1h --dhcp-leasefile="$work/leases" \
  --dhcp-option=option:router,192.0.2.1 --dhcp-authoritative --no-ping \
  --log-facility="$work/dnsmasq.log" &
pids+=($!)

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 3650 -subj /CN=www.example.test \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
mkdir "$work/www"
printf 'hello from the test server\n' >"$work/www/index.html"
(cd "$work/www" && exec ip netns exec "$server" timeout 120 openssl s_server -quiet -accept 443 \
  -cert "$work/cert.pem" -key "$work/key.pem" -alpn http/1.1 -WWW >/dev/null 2>&1) &
pids+=($!)
ip netns exec "$server" timeout 120 python3 -c '
import functools, http.server, sys
class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def version_string(self): return "qv-test-server/1.0"
    def log_message(self, *args): pass
server = http.server.HTTPServer(("192.0.2.1", 80), functools.partial(Handler, directory=sys.argv[1]))
server.serve_forever()
' "$work/www" &
pids+=($!)

# Waits (at most 10 s) until something listens on the server's TCP port $1.
listening() {
  local i
  for i in $(seq 50); do
    S ss -Hltn "sport = :$1" | grep -q . && return 0
    sleep 0.2
  done
  echo "make_app_captures.sh: nothing listens on port $1" >&2
  return 1
}
listening 53
listening 80
listening 443

# Runs the client command "$@" while tcpdump captures `$filter` on qv0 into $name.
capture() {
  local name=$1 filter=$2 i
  shift 2
  rm -f "$work/tcpdump.log"
  ip netns exec "$server" tcpdump -i qv0 -s 0 -U --immediate-mode -w "$work/$name" "$filter" 2>"$work/tcpdump.log" &
  local dump=$!
  for i in $(seq 50); do
    grep -qs 'listening on' "$work/tcpdump.log" && break
    sleep 0.1
  done
  "$@"
  sleep 0.5
  kill -INT "$dump"
  wait "$dump" || true
}

# --- DHCP: the client has no address yet ---
cat >"$work/dhclient.conf" <<'EOF'
send host-name "qv-client";
request subnet-mask, broadcast-address, routers, domain-name, domain-name-servers;
EOF
dhcp() {
  local args=(-4 -sf /bin/true -cf "$work/dhclient.conf" -lf "$work/dhclient.leases" -pf "$work/dhclient.pid")
  C timeout 30 dhclient -1 "${args[@]}" qv1
  # Ends the client that went to the background once it had its lease.
  local pid i
  for i in $(seq 50); do
    [ -s "$work/dhclient.pid" ] && break
    sleep 0.1
  done
  pid=$(cat "$work/dhclient.pid")
  kill "$pid"
  for i in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
}
capture app_dhcp.pcap 'udp port 67 or udp port 68' dhcp

C ip addr add 192.0.2.2/24 brd + dev qv1
C ip addr add fd00:51::2/64 dev qv1 nodad

dns() {
  local q=(+tries=2 +time=2)
  C dig "${q[@]}" @192.0.2.1 www.example.test A >/dev/null
  C dig "${q[@]}" @fd00:51::1 www.example.test AAAA >/dev/null
  C dig "${q[@]}" +noedns @192.0.2.1 long.example.test TXT >/dev/null
}
capture app_dns.pcap 'port 53' dns

curl_common=(-s --max-time 10 --retry 0)
capture app_http.pcap 'tcp port 80' C curl "${curl_common[@]}" --resolve www.example.test:80:192.0.2.1 \
  -o /dev/null http://www.example.test/index.html -o /dev/null http://www.example.test/missing.html
capture app_tls12.pcap 'tcp port 443' C curl "${curl_common[@]}" -k --tlsv1.2 --tls-max 1.2 \
  --resolve www.example.test:443:192.0.2.1 -o /dev/null https://www.example.test/index.html
capture app_tls13.pcap 'tcp port 443' C curl "${curl_common[@]}" -k --tlsv1.3 \
  --resolve www.example.test:443:192.0.2.1 -o /dev/null https://www.example.test/index.html
capture app_tls_alpn.pcap 'tcp port 443' C timeout 10 openssl s_client -connect 192.0.2.1:443 \
  -alpn h2,http/1.1 -servername www.example.test </dev/null >/dev/null 2>&1

for c in app_dns app_dhcp app_http app_tls12 app_tls13 app_tls_alpn; do
  # The kept file: plain libpcap format, the frames as captured.
  editcap -F pcap "$work/$c.pcap" "$out/$c.pcap"
done
write_values
