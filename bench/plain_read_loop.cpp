// The baseline of the capture benchmarks: read every record of a savefile
// with pcap_next_ex and touch its bytes, nothing else.

#include <pcap/pcap.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: plain_read_loop FILE\n");
    return 2;
  }
  char errbuf[PCAP_ERRBUF_SIZE];
  pcap_t* p = pcap_open_offline(argv[1], errbuf);
  if (p == nullptr) {
    std::fprintf(stderr, "%s\n", errbuf);
    return 1;
  }
  pcap_pkthdr* h;
  const u_char* data;
  unsigned long long frames = 0, bytes = 0, checksum = 0;
  while (pcap_next_ex(p, &h, &data) == 1) {
    ++frames;
    bytes += h->len;
    checksum += data[h->caplen / 2];
  }
  pcap_close(p);
  std::printf("%llu packets, %llu bytes (%llu)\n", frames, bytes, checksum);
  return 0;
}
