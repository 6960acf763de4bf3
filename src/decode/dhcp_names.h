#pragma once
// Names shared by the DHCP and DHCPv6 decoders: the DHCP options by code,
// as the IANA registry lists them (the option lines and the items of a
// parameter request list), hardware types and DUID types.

#include <cstdint>

namespace qv::dhcpnames {

inline const char* OptionName(std::uint32_t code) {
  switch (code) {
    case 0: return "Padding";
    case 1: return "Subnet Mask";
    case 2: return "Time Offset";
    case 3: return "Router";
    case 4: return "Time Server";
    case 5: return "Name Server";
    case 6: return "Domain Name Server";
    case 7: return "Log Server";
    case 8: return "Quotes Server";
    case 9: return "LPR Server";
    case 10: return "Impress Server";
    case 11: return "Resource Location Server";
    case 12: return "Host Name";
    case 13: return "Boot File Size";
    case 14: return "Merit Dump File";
    case 15: return "Domain Name";
    case 16: return "Swap Server";
    case 17: return "Root Path";
    case 18: return "Extensions Path";
    case 19: return "IP Forwarding";
    case 20: return "Non-Local Source Routing";
    case 21: return "Policy Filter";
    case 22: return "Maximum Datagram Reassembly Size";
    case 23: return "Default IP Time-to-Live";
    case 24: return "Path MTU Aging Timeout";
    case 25: return "Path MTU Plateau Table";
    case 26: return "Interface MTU";
    case 27: return "All Subnets are Local";
    case 28: return "Broadcast Address";
    case 29: return "Perform Mask Discovery";
    case 30: return "Mask Supplier";
    case 31: return "Perform Router Discover";
    case 32: return "Router Solicitation Address";
    case 33: return "Static Route";
    case 34: return "Trailer Encapsulation";
    case 35: return "ARP Cache Timeout";
    case 36: return "Ethernet Encapsulation";
    case 37: return "TCP Default TTL";
    case 38: return "TCP Keepalive Interval";
    case 39: return "TCP Keepalive Garbage";
    case 40: return "Network Information Service Domain";
    case 41: return "Network Information Service Servers";
    case 42: return "Network Time Protocol Servers";
    case 43: return "Vendor-Specific Information";
    case 44: return "NetBIOS over TCP/IP Name Server";
    case 45: return "NetBIOS over TCP/IP Datagram Distribution Name Server";
    case 46: return "NetBIOS over TCP/IP Node Type";
    case 47: return "NetBIOS over TCP/IP Scope";
    case 48: return "X Window System Font Server";
    case 49: return "X Window System Display Manager";
    case 50: return "Requested IP Address";
    case 51: return "IP Address Lease Time";
    case 52: return "Option Overload";
    case 53: return "DHCP Message Type";
    case 54: return "DHCP Server Identifier";
    case 55: return "Parameter Request List";
    case 56: return "Message";
    case 57: return "Maximum DHCP Message Size";
    case 58: return "Renewal Time Value";
    case 59: return "Rebinding Time Value";
    case 60: return "Vendor class identifier";
    case 61: return "Client identifier";
    case 62: return "Novell/Netware IP domain";
    case 63: return "Novell Options";
    case 64: return "Network Information Service+ Domain";
    case 65: return "Network Information Service+ Servers";
    case 66: return "TFTP Server Name";
    case 67: return "Bootfile name";
    case 68: return "Mobile IP Home Agent";
    case 69: return "SMTP Server";
    case 70: return "POP3 Server";
    case 71: return "NNTP Server";
    case 72: return "Default WWW Server";
    case 73: return "Default Finger Server";
    case 74: return "Default IRC Server";
    case 75: return "StreetTalk Server";
    case 76: return "StreetTalk Directory Assistance Server";
    case 77: return "User Class Information";
    case 78: return "Directory Agent Information";
    case 79: return "Service Location Agent Scope";
    case 80: return "Rapid commit";
    case 81: return "Client Fully Qualified Domain Name";
    case 82: return "Agent Information Option";
    case 83: return "iSNS";
    case 85: return "Novell Directory Services Servers";
    case 86: return "Novell Directory Services Tree Name";
    case 87: return "Novell Directory Services Context";
    case 88: return "BCMCS Controller Domain Name";
    case 89: return "BCMCS Controller IPv4 address";
    case 90: return "Authentication";
    case 91: return "Client last transaction time";
    case 92: return "Associated IP option";
    case 93: return "Client System Architecture";
    case 94: return "Client Network Device Interface";
    case 95: return "LDAP";
    case 97: return "UUID/GUID-based Client Identifier";
    case 98: return "Open Group's User Authentication";
    case 99: return "Civic Addresses Configuration";
    case 100: return "PCode";
    case 101: return "TCode";
    case 108: return "IPv6-Only Preferred";
    case 112: return "NetInfo Parent Server Address";
    case 113: return "NetInfo Parent Server Tag";
    case 114: return "DHCP Captive-Portal";
    case 116: return "DHCP Auto-Configuration";
    case 117: return "Name Service Search";
    case 118: return "Subnet Selection Option";
    case 119: return "Domain Search";
    case 120: return "SIP Servers";
    case 121: return "Classless Static Route";
    case 122: return "CableLabs Client Configuration";
    case 123: return "Coordinate-based Location Configuration";
    case 124: return "V-I Vendor Class";
    case 125: return "V-I Vendor-specific Information";
    case 128: return "DOCSIS full security server IP";
    case 129:
    case 130:
    case 131:
    case 132:
    case 133:
    case 134:
    case 135: return "PXE - undefined (vendor specific)";
    case 136: return "PANA Authentication Agent";
    case 137: return "LoST Server Domain Name";
    case 138: return "CAPWAP Access Controllers";
    case 139: return "IPv4 Address-MoS";
    case 140: return "IPv4 FQDN-MoS";
    case 141: return "SIP UA Configuration Domains";
    case 142: return "IPv4 Address ANDSF";
    case 143: return "Zerotouch Redirect";
    case 144: return "Geospatial Location";
    case 145: return "Forcerenew Nonce Capable";
    case 146: return "RDNSS Selection";
    case 150: return "TFTP Server Address";
    case 151: return "Leasequery Status code";
    case 152: return "Leasequery Base Time";
    case 153: return "Leasequery Start Time of State";
    case 154: return "Leasequery Query Start Time";
    case 155: return "Leasequery Query End Time";
    case 156: return "Leasequery Dhcp State";
    case 157: return "Leasequery Data Source";
    case 158: return "PCP Server";
    case 159: return "Portparams";
    case 160: return "Unassigned (ex DHCP Captive-Portal)";
    case 161: return "Manufacturer Usage Description";
    case 175:
    case 177: return "Etherboot";
    case 176: return "IP Telephone";
    case 208: return "PXELINUX Magic";
    case 209: return "PXE Configuration file";
    case 210: return "PXE Path Prefix";
    case 211: return "Reboot Time";
    case 212: return "6RD";
    case 213: return "V4 Access Domain";
    case 220: return "Subnet Allocation";
    case 221: return "Virtual Subnet Selection";
    case 242: return "Private/Avaya IP Telephone";
    case 249: return "Private/Classless Static Route (Microsoft)";
    case 252: return "Private/Proxy autodiscovery";
    case 255: return "End";
    default: return code >= 224 ? "Private" : "Unassigned";
  }
}

// The hardware types of ARP, which BOOTP and the DUIDs share.
inline const char* HardwareTypeName(std::uint32_t type) {
  switch (type) {
    case 1: return "Ethernet";
    case 2: return "Experimental Ethernet";
    case 3: return "AX.25";
    case 4: return "ProNET";
    case 5: return "Chaos";
    case 6: return "IEEE 802";
    case 7: return "ARCNET";
    case 8: return "Hyperchannel";
    case 9: return "Lanstar";
    case 10: return "Autonet";
    case 11: return "LocalTalk";
    case 12: return "LocalNet";
    case 13: return "Ultra link";
    case 14: return "SMDS";
    case 15: return "Frame Relay";
    case 16:
    case 19:
    case 21: return "ATM";
    case 17: return "HDLC";
    case 18: return "Fibre Channel";
    case 20: return "Serial Line";
    case 24: return "IEEE 1394.1995";
    case 27: return "EUI-64";
    case 32: return "InfiniBand";
    default: return "Unknown";
  }
}

// DHCP unique identifiers: how the identifier was made.
inline const char* DuidTypeName(std::uint32_t type) {
  switch (type) {
    case 1: return "link-layer address plus time";
    case 2: return "assigned by vendor based on Enterprise number";
    case 3: return "link-layer address";
    case 4: return "Universally Unique IDentifier (UUID)";
    default: return "Unknown";
  }
}

}  // namespace qv::dhcpnames
