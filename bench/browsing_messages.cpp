#include "bench/browsing_messages.h"

namespace qv::browsing {

namespace {

void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void Put24(Bytes& out, std::size_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  Put16(out, static_cast<std::uint32_t>(v));
}
void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v >> 16);
  Put16(out, v);
}
void PutRandom(Bytes& out, std::size_t n, const RandomBytes& random) {
  out.resize(out.size() + n);
  random(out.data() + out.size() - n, n);
}
void PutText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

// An extension: type, 16-bit length, body.
void Extension(Bytes& out, std::uint16_t type, const Bytes& body) {
  Put16(out, type);
  Put16(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

// A body that starts with its own 16-bit (or 8-bit) length.
Bytes Prefixed16(const Bytes& inner) {
  Bytes out;
  Put16(out, static_cast<std::uint32_t>(inner.size()));
  out.insert(out.end(), inner.begin(), inner.end());
  return out;
}
Bytes Prefixed8(const Bytes& inner) {
  Bytes out{static_cast<std::uint8_t>(inner.size())};
  out.insert(out.end(), inner.begin(), inner.end());
  return out;
}

std::uint16_t Grease(unsigned k) { return static_cast<std::uint16_t>(0x0a0a + 0x1010 * (k % 16)); }

void PutName(Bytes& out, const std::string& name) {
  std::size_t start = 0;
  while (start < name.size()) {
    std::size_t dot = name.find('.', start);
    if (dot == std::string::npos) dot = name.size();
    out.push_back(static_cast<std::uint8_t>(dot - start));
    out.insert(out.end(), name.begin() + static_cast<std::ptrdiff_t>(start),
               name.begin() + static_cast<std::ptrdiff_t>(dot));
    start = dot + 1;
  }
  out.push_back(0);
}

void DnsHeader(Bytes& out, std::uint16_t id, std::uint16_t flags, std::uint16_t questions, std::uint16_t answers,
               std::uint16_t additional) {
  Put16(out, id);
  Put16(out, flags);
  Put16(out, questions);
  Put16(out, answers);
  Put16(out, 0);
  Put16(out, additional);
}

void Opt(Bytes& out) { out.insert(out.end(), {0x00, 0x00, 0x29, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}); }

// A resource record whose owner is a compression pointer to `owner`.
void Rr(Bytes& out, std::size_t owner, std::uint16_t type, std::uint32_t ttl, const Bytes& data) {
  Put16(out, static_cast<std::uint32_t>(0xc000 | owner));
  Put16(out, type);
  Put16(out, 1);
  Put32(out, ttl);
  Put16(out, static_cast<std::uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
}

void RrNamed(Bytes& out, const std::string& owner, std::uint16_t type, std::uint16_t klass, std::uint32_t ttl,
             const Bytes& data) {
  PutName(out, owner);
  Put16(out, type);
  Put16(out, klass);
  Put32(out, ttl);
  Put16(out, static_cast<std::uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
}

}  // namespace

Bytes Handshake(std::uint8_t type, const Bytes& body) {
  Bytes out{type};
  Put24(out, body.size());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes Record(std::uint8_t type, const Bytes& body, std::uint16_t version) {
  Bytes out{type};
  Put16(out, version);
  Put16(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes ClientHello(const std::string& serverName, const std::vector<std::string>& alpn, unsigned grease, bool quic,
                  const RandomBytes& random) {
  Bytes body{0x03, 0x03};
  PutRandom(body, 32, random);
  if (quic) {
    body.push_back(0);
  } else {
    body.push_back(32);
    PutRandom(body, 32, random);
  }
  Bytes suites;
  if (!quic) Put16(suites, Grease(grease));
  for (std::uint16_t s : {0x1301, 0x1302, 0x1303}) Put16(suites, s);
  if (!quic) {
    for (std::uint16_t s :
         {0xc02b, 0xc02f, 0xc02c, 0xc030, 0xcca9, 0xcca8, 0xc013, 0xc014, 0x009c, 0x009d, 0x002f, 0x0035}) {
      Put16(suites, s);
    }
  }
  const Bytes prefixedSuites = Prefixed16(suites);
  body.insert(body.end(), prefixedSuites.begin(), prefixedSuites.end());
  body.insert(body.end(), {0x01, 0x00});  // compression: null only

  Bytes ext;
  Extension(ext, Grease(grease + 3), {});
  Bytes sni{0x00};
  Put16(sni, static_cast<std::uint32_t>(serverName.size()));
  PutText(sni, serverName);
  Extension(ext, 0x0000, Prefixed16(sni));
  if (!quic) {
    Extension(ext, 0x0017, {});      // extended master secret
    Extension(ext, 0xff01, {0x00});  // renegotiation info
  }
  Bytes groups;
  Put16(groups, Grease(grease));
  for (std::uint16_t g : {0x001d, 0x0017, 0x0018}) Put16(groups, g);
  Extension(ext, 0x000a, Prefixed16(groups));
  if (!quic) {
    Extension(ext, 0x000b, {0x01, 0x00});  // point formats: uncompressed
    Extension(ext, 0x0023, {});            // session ticket
  }
  Bytes protocols;
  for (const std::string& p : alpn) {
    protocols.push_back(static_cast<std::uint8_t>(p.size()));
    PutText(protocols, p);
  }
  Extension(ext, 0x0010, Prefixed16(protocols));
  Extension(ext, 0x0005, {0x01, 0x00, 0x00, 0x00, 0x00});  // OCSP status request
  Bytes algorithms;
  for (std::uint16_t a : {0x0403, 0x0804, 0x0401, 0x0503, 0x0805, 0x0501, 0x0806, 0x0601}) Put16(algorithms, a);
  Extension(ext, 0x000d, Prefixed16(algorithms));
  Extension(ext, 0x0012, {});  // signed certificate timestamps
  Bytes shares;
  Put16(shares, Grease(grease));
  shares.insert(shares.end(), {0x00, 0x01, 0x00});
  shares.insert(shares.end(), {0x00, 0x1d, 0x00, 0x20});
  PutRandom(shares, 32, random);
  Extension(ext, 0x0033, Prefixed16(shares));
  Extension(ext, 0x002d, {0x01, 0x01});  // PSK with (EC)DHE
  Bytes versions;
  Put16(versions, Grease(grease + 7));
  Put16(versions, 0x0304);
  if (!quic) Put16(versions, 0x0303);
  Extension(ext, 0x002b, Prefixed8(versions));
  Extension(ext, 0x001b, {0x02, 0x00, 0x02});  // certificate compression: brotli
  if (quic) {
    // max_idle_timeout 30 s, max_udp_payload_size 1472, initial_max_data
    // 15 MB, initial_max_streams_bidi 100, an empty initial source
    // connection ID (the client uses none).
    Extension(ext, 0x0039, {0x01, 0x04, 0x80, 0x00, 0x75, 0x30, 0x03, 0x02, 0x45, 0xc0, 0x04,
                            0x04, 0x80, 0xf0, 0x00, 0x00, 0x08, 0x02, 0x40, 0x64, 0x0f, 0x00});
  }
  Extension(ext, Grease(grease + 11), {0x00});
  if (!quic) {
    // Padding brings the ClientHello to 512 bytes, past a bug of old middleboxes.
    const std::size_t sofar = 4 + body.size() + 2 + ext.size();
    if (sofar + 4 < 512) Extension(ext, 0x0015, Bytes(512 - sofar - 4, 0));
  }
  const Bytes prefixedExt = Prefixed16(ext);
  body.insert(body.end(), prefixedExt.begin(), prefixedExt.end());
  return Handshake(1, body);
}

Bytes ServerHello13(const RandomBytes& random, std::uint16_t cipher) {
  Bytes body{0x03, 0x03};
  PutRandom(body, 32, random);
  body.push_back(32);
  PutRandom(body, 32, random);
  Put16(body, cipher);
  body.push_back(0);
  Bytes ext;
  Extension(ext, 0x002b, {0x03, 0x04});
  Bytes share{0x00, 0x1d, 0x00, 0x20};
  PutRandom(share, 32, random);
  Extension(ext, 0x0033, share);
  const Bytes prefixedExt = Prefixed16(ext);
  body.insert(body.end(), prefixedExt.begin(), prefixedExt.end());
  return Handshake(2, body);
}

Bytes ServerFlight12(const std::vector<Bytes>& chain, const RandomBytes& random) {
  Bytes hello{0x03, 0x03};
  PutRandom(hello, 32, random);
  hello.push_back(32);
  PutRandom(hello, 32, random);
  Put16(hello, 0xc02f);
  hello.push_back(0);
  Bytes ext;
  Extension(ext, 0xff01, {0x00});
  Extension(ext, 0x000b, {0x01, 0x00});
  Extension(ext, 0x0017, {});
  Extension(ext, 0x0010, {0x00, 0x03, 0x02, 'h', '2'});
  const Bytes prefixedExt = Prefixed16(ext);
  hello.insert(hello.end(), prefixedExt.begin(), prefixedExt.end());

  Bytes certificates;
  std::size_t total = 0;
  for (const Bytes& c : chain) total += 3 + c.size();
  Put24(certificates, total);
  for (const Bytes& c : chain) {
    Put24(certificates, c.size());
    certificates.insert(certificates.end(), c.begin(), c.end());
  }
  Bytes keyExchange{0x03, 0x00, 0x1d, 0x20};
  PutRandom(keyExchange, 32, random);
  keyExchange.insert(keyExchange.end(), {0x08, 0x07, 0x00, 0x40});
  PutRandom(keyExchange, 64, random);

  Bytes messages = Handshake(2, hello);
  for (const Bytes& m : {Handshake(11, certificates), Handshake(12, keyExchange), Handshake(14, {})}) {
    messages.insert(messages.end(), m.begin(), m.end());
  }
  return Record(22, messages);
}

Bytes ClientFinish12(const RandomBytes& random) {
  Bytes key{0x20};
  PutRandom(key, 32, random);
  Bytes out = Record(22, Handshake(16, key));
  const Bytes change = Record(20, {0x01});
  out.insert(out.end(), change.begin(), change.end());
  Bytes finished;
  PutRandom(finished, 40, random);
  const Bytes encrypted = Record(22, finished);
  out.insert(out.end(), encrypted.begin(), encrypted.end());
  return out;
}

Bytes DnsQuery(std::uint16_t id, const std::string& name, std::uint16_t type, bool edns) {
  Bytes out;
  DnsHeader(out, id, 0x0100, 1, 0, edns ? 1 : 0);
  PutName(out, name);
  Put16(out, type);
  Put16(out, 1);
  if (edns) Opt(out);
  return out;
}

Bytes DnsAnswer(std::uint16_t id, const std::string& name, std::uint16_t type, bool edns,
                const std::vector<std::string>& cnames, const std::vector<Bytes>& addresses) {
  Bytes out;
  const std::size_t answers = cnames.size() + (type == 65 ? 1 : addresses.size());
  DnsHeader(out, id, 0x8180, 1, static_cast<std::uint16_t>(answers), edns ? 1 : 0);
  PutName(out, name);
  Put16(out, type);
  Put16(out, 1);
  std::size_t owner = 12;  // the question's name
  for (const std::string& target : cnames) {
    Bytes data;
    PutName(data, target);
    Rr(out, owner, 5, 300, data);
    owner = out.size() - data.size();
  }
  if (type == 65) {
    Bytes data{0x00, 0x01, 0x00};  // priority 1, the owner itself as target
    data.insert(data.end(), {0x00, 0x01, 0x00, 0x06, 0x02, 'h', '3', 0x02, 'h', '2'});
    Bytes hints;
    for (const Bytes& a : addresses) {
      if (a.size() == 4) hints.insert(hints.end(), a.begin(), a.end());
    }
    Put16(data, 4);
    Put16(data, static_cast<std::uint32_t>(hints.size()));
    data.insert(data.end(), hints.begin(), hints.end());
    Rr(out, owner, 65, 300, data);
  } else {
    for (const Bytes& a : addresses) Rr(out, owner, type, 60, a);
  }
  if (edns) Opt(out);
  return out;
}

Bytes MdnsQuery(const std::string& service) {
  Bytes out;
  DnsHeader(out, 0, 0, 1, 0, 0);
  PutName(out, service);
  Put16(out, 12);
  Put16(out, 1);
  return out;
}

Bytes MdnsAnnouncement(const std::string& service, const std::string& instance, const std::string& host,
                       const std::uint8_t address[4]) {
  Bytes out;
  DnsHeader(out, 0, 0x8400, 0, 4, 0);
  const std::string full = instance + "." + service;
  Bytes ptr;
  PutName(ptr, full);
  RrNamed(out, service, 12, 1, 4500, ptr);
  Bytes srv{0x00, 0x00, 0x00, 0x00, 0x1f, 0x49};  // priority, weight, port 8009
  PutName(srv, host);
  RrNamed(out, full, 33, 0x8001, 120, srv);
  Bytes txt;
  for (const std::string& item :
       {std::string("id=") + std::to_string(host.size() * 7919), std::string("ve=05"), std::string("md=") + instance}) {
    txt.push_back(static_cast<std::uint8_t>(item.size()));
    PutText(txt, item);
  }
  RrNamed(out, full, 16, 0x8001, 4500, txt);
  RrNamed(out, host, 1, 0x8001, 120, Bytes(address, address + 4));
  return out;
}

std::string HttpRequest(const std::string& method, const std::string& host, const std::string& path) {
  return method + " " + path + " HTTP/1.1\r\nHost: " + host +
         "\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/131.0.0.0 Safari/537.36\r\nAccept: text/html,application/xhtml+xml,application/xml;q=0.9,"
         "image/avif,image/webp,*/*;q=0.8\r\nAccept-Encoding: gzip, deflate\r\nAccept-Language: en-GB,en;q=0.9\r\n"
         "Connection: keep-alive\r\n\r\n";
}

std::string HttpResponseHead(int status, const std::string& contentType, std::size_t contentLength) {
  const char* reason = status == 200   ? "OK"
                       : status == 304 ? "Not Modified"
                       : status == 301 ? "Moved Permanently"
                                       : "Not Found";
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                     "\r\nDate: Tue, 01 Dec 2026 10:00:00 GMT\r\nServer: nginx/1.24.0\r\n";
  if (status != 304) {
    head += "Content-Type: " + contentType + "\r\nContent-Length: " + std::to_string(contentLength) + "\r\n";
  }
  if (status == 301) head += "Location: https://www.example.org/\r\n";
  return head + "Cache-Control: max-age=3600\r\nConnection: keep-alive\r\n\r\n";
}

std::string SsdpSearch(const std::string& target) {
  return "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\nST: " + target +
         "\r\nUSER-AGENT: Chromium/131.0 Linux\r\n\r\n";
}

std::string SsdpNotify(const std::string& location, const std::string& type, const std::string& uuid) {
  return "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=1800\r\nLOCATION: " + location +
         "\r\nNT: " + type + "\r\nNTS: ssdp:alive\r\nSERVER: Linux/5.15 UPnP/1.0 MediaServer/1.0\r\nUSN: uuid:" + uuid +
         "::" + type + "\r\n\r\n";
}

}  // namespace qv::browsing
