#pragma once
// Link types as files store them (the LINKTYPE_ registry) and as the capture
// library numbers them on this system (DLT_). They agree except for a few
// old types that BSD systems once numbered differently; frames read from
// files get the library's numbers, as libpcap itself hands them over, and
// files get the registry's.

namespace qv {

inline int LinkTypeFromFile(int linkType) {
  switch (linkType) {
    case 100: return 11;  // ATM RFC 1483
    case 101: return 12;  // raw IP
    case 102: return 15;  // SLIP, BSD/OS
    case 103: return 16;  // PPP, BSD/OS
    case 106: return 19;  // ATM classical IP
    default: return linkType;
  }
}

inline int LinkTypeForFile(int linkType) {
  switch (linkType) {
    case 11: return 100;
    case 12:
    case 14: return 101;
    case 15: return 102;
    case 16: return 103;
    case 19: return 106;
    default: return linkType;
  }
}

}  // namespace qv
