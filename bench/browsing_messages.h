#pragma once
// The application messages of the browsing capture, as a current browser
// and the servers it talks to write them: TLS handshake records (a
// ClientHello with GREASE, SNI, ALPN and key shares; TLS 1.3 and TLS 1.2
// server flights), the ClientHello a QUIC Initial carries, DNS queries and
// answers (A, AAAA, CNAME, HTTPS), mDNS and SSDP announcements, HTTP/1.1
// requests and response heads. Random-looking bytes (keys, encrypted
// records) come from the caller's generator.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv::browsing {

using Bytes = std::vector<std::uint8_t>;
using RandomBytes = std::function<void(std::uint8_t*, std::size_t)>;

// A handshake message (type, 24-bit length, body).
Bytes Handshake(std::uint8_t type, const Bytes& body);
// A TLS record of `type` around `body`.
Bytes Record(std::uint8_t type, const Bytes& body, std::uint16_t version = 0x0303);

// A ClientHello handshake message. `grease` picks the GREASE values (0..15);
// `alpn` lists the protocols offered; `quicParameters` adds the QUIC
// transport parameters extension and leaves out what QUIC has no use for
// (session ID, padding, TLS 1.2 versions).
Bytes ClientHello(const std::string& serverName, const std::vector<std::string>& alpn, unsigned grease, bool quic,
                  const RandomBytes& random);
// The TLS 1.3 ServerHello handshake message (x25519 key share).
Bytes ServerHello13(const RandomBytes& random, std::uint16_t cipher);
// A TLS 1.2 server flight: ServerHello, Certificate (the chain given),
// ServerKeyExchange (x25519, Ed25519 signature), ServerHelloDone, as records.
Bytes ServerFlight12(const std::vector<Bytes>& chain, const RandomBytes& random);
// ClientKeyExchange, ChangeCipherSpec and the encrypted Finished, as records.
Bytes ClientFinish12(const RandomBytes& random);

// DNS. A query for `name` of `type` (1 A, 28 AAAA, 65 HTTPS) with an OPT
// record when `edns`; the answer repeats the question and carries
// `cnames` (each the target of the one before) and then the final answers,
// `addresses` (4 or 16 bytes each) or, for HTTPS, one record with ALPN
// "h3", "h2" and the IPv4 hint.
Bytes DnsQuery(std::uint16_t id, const std::string& name, std::uint16_t type, bool edns);
Bytes DnsAnswer(std::uint16_t id, const std::string& name, std::uint16_t type, bool edns,
                const std::vector<std::string>& cnames, const std::vector<Bytes>& addresses);
// mDNS: a PTR question for `service`, or a device's announcement of
// `instance` under `service` (PTR, SRV, TXT, A).
Bytes MdnsQuery(const std::string& service);
Bytes MdnsAnnouncement(const std::string& service, const std::string& instance, const std::string& host,
                       const std::uint8_t address[4]);

// HTTP/1.1.
std::string HttpRequest(const std::string& method, const std::string& host, const std::string& path);
std::string HttpResponseHead(int status, const std::string& contentType, std::size_t contentLength);
std::string SsdpSearch(const std::string& target);
std::string SsdpNotify(const std::string& location, const std::string& type, const std::string& uuid);

}  // namespace qv::browsing
