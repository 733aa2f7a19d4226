// The floor for bench/compare: reads a capture with libpcap and only counts
// its frames, the least any decoder reading through libpcap can do.
#include <stdio.h>

#include <pcap/pcap.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: pcap_count CAPTURE\n", stderr);
    return 1;
  }
  char error[PCAP_ERRBUF_SIZE];
  pcap_t* pcap = pcap_open_offline(argv[1], error);
  if (!pcap) {
    fprintf(stderr, "pcap_count: %s\n", error);
    return 2;
  }
  pcap_pkthdr* header;
  const u_char* data;
  unsigned long frames = 0, bytes = 0;
  int rc;
  while ((rc = pcap_next_ex(pcap, &header, &data)) == 1) {
    frames++;
    bytes += header->caplen;
  }
  if (rc == PCAP_ERROR) fprintf(stderr, "pcap_count: %s\n", pcap_geterr(pcap));
  printf("%lu frames, %lu bytes\n", frames, bytes);
  pcap_close(pcap);
  return rc == PCAP_ERROR ? 2 : 0;
}
