#include "cli/cli_options.h"

#include <charconv>
#include <cstdlib>

#include "capture/settings.h"

namespace qv {

const char* CliUsage() {
  return "usage: quorvanet-cli [-D] [-i NAME | -r FILE] [-c N] [-w FILE [-F pcapng|pcap]] [-f FILTER | --rules FILE.rul] [-B MB]\n"
         "                    [--print-filter] [-Y FILTER] [-q | -V [-x] | -T json | -T fields -e FIELD... [-E OPTION=VALUE]...]\n"
         "                    [-z io,phs[,FILTER] | -z conv,eth|ip|ipv6[,FILTER]]...\n"
         "                    [--script FILE.ssc]...\n"
         "                    [--stats [--stats-rows N] [--names]] [--log DIR [--log-count N] [--log-size MB]]\n"
         "                    [--disable-protocol NAME[,NAME...]] [--enable-protocol NAME[,NAME...]]\n"
         "       quorvanet-cli --send FILE.spk -i NAME [-c COUNT] [--gap MS]\n"
         "       quorvanet-cli --doctor\n"
         "       quorvanet-cli -G fields\n"
         "  -D          list the adapters and exit\n"
         "  -i NAME     capture live on adapter NAME\n"
         "  -r FILE     read a capture file (pcap or pcapng, also gzip, zstd or lz4 compressed; - for standard input)\n"
         "  -c N        stop after N frames read (with -Y too, shown or not)\n"
         "  -w FILE     save the buffer to FILE at the end (newest frame first; gzip-compressed when FILE ends in .gz)\n"
         "  -F FORMAT   the format -w writes: pcapng or pcap (default: by FILE's extension, else pcap unless\n"
         "              the frames have several link types or comments)\n"
         "  -f FILTER   capture filter (libpcap syntax), also for the frames read with -r\n"
         "  --rules FILE.rul  build the filter from a rule file, used like -f\n"
         "  --print-filter    print the filter as built and exit\n"
         "  -B MB       kernel buffer for a live capture, 1 to 1024 MiB (default 32)\n"
         "  -q          print no rows, only the totals at the end (on stdout)\n"
         "  -V          print each frame's decode tree after its row\n"
         "  -x          print each frame's hex dump and layer starts (with -V)\n"
         "  -Y FILTER   display filter (tshark's language): only the frames it matches are printed,\n"
         "              counted by --stats and written by -w; they keep their numbers in the file\n"
         "  -T json     print each frame as one line of JSON: number, time, lengths, link type, row and decode tree\n"
         "  -T fields   print the -e fields of each frame on one line, as tshark -T fields does\n"
         "  -e FIELD    a field (or protocol) for -T fields (repeatable; -G fields lists them)\n"
         "  -E OPTION=VALUE  the layout of -T fields: header=y|n, separator=/t|/s|CHAR,\n"
         "              occurrence=f|l|a, aggregator=,|/s|CHAR, quote=d|s|n\n"
         "  -G fields   print the decode fields (P: protocols, F: fields, tab-separated) and exit\n"
         "  -z io,phs[,FILTER]  at the end, the protocol hierarchy of the frames shown, as tshark prints it\n"
         "  -z conv,eth|ip|ipv6[,FILTER]  at the end, the Ethernet, IPv4 or IPv6 conversations (repeatable;\n"
         "              the last one given prints first; the totals then go to stderr)\n"
         "  --log DIR   also write a live capture to log files sniffed_DD_MM_YYYY_NNNN.log in DIR\n"
         "  --log-count N   start a new log file after N frames (1..1000000)\n"
         "  --log-size MB   start a new log file after MB megabytes (1..100)\n"
         "  --send FILE send the frame of a packet file (.spk) on the adapter of -i,\n"
         "              -c times (default 1, 0: until Ctrl+C), waiting --gap MS after each\n"
         "  --doctor    check the rights to capture: adapters, capabilities, group\n"
         "  --stats     print the layer counters and the IP conversation table at the end\n"
         "  --stats-rows N  rows of the conversation table, 1 to 1000 (default 30)\n"
         "  --names     name the conversations' hosts by the traffic's own names (DNS answers,\n"
         "              TLS server names, HTTP Host) and by reverse lookups (waits up to 5 s at the end)\n"
         "  --script FILE.ssc  apply a protocol script to the -V tree (repeatable; the last one given wins)\n"
         "  --disable-protocol NAME  switch a decoder off (ipv6, icmpv6, vlan, mpls, pppoe, gre,\n"
         "              vxlan, dns, dhcp, dhcpv6, ntp,\n"
         "              tls, quic, http; ALL: every one),\n"
         "              so that the classic decoders alone read the frames\n"
         "  --enable-protocol NAME   switch a decoder on again (after --disable-protocol ALL)\n"
         "Rows: Time, Size, Src MAC, Dest MAC, Src IP, Dest IP, Src Port, Dest Port, Protocols, tab-separated.\n";
}

namespace {

// Switches the named optional decoders ("ALL", or names separated by commas)
// on or off; false, with the message, for a name no decoder has.
bool SwitchDecoders(EnabledDecoders& decoders, const std::string& names, bool on, std::string& error) {
  std::size_t at = 0;
  while (at <= names.size()) {
    std::size_t comma = names.find(',', at);
    if (comma == std::string::npos) comma = names.size();
    const std::string name = names.substr(at, comma - at);
    if (name == "ALL" || name == "all") {
      for (std::size_t i = 0; i < static_cast<std::size_t>(OptionalDecoder::Count_); ++i) {
        decoders.Set(static_cast<OptionalDecoder>(i), on);
      }
    } else if (const std::optional<OptionalDecoder> d = FindOptionalDecoder(name)) {
      decoders.Set(*d, on);
    } else {
      error = "no decoder named \"" + name + "\" can be switched (try ipv6, icmpv6, vlan, mpls, pppoe, gre, vxlan, dns, dhcp, dhcpv6, ntp, tls, quic, http, ALL)";
      return false;
    }
    at = comma + 1;
  }
  return true;
}

}  // namespace

CliParse ParseCliOptions(const std::vector<std::string>& args) {
  CliParse out;
  CliOptions& o = out.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        out.error = "option " + a + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    if (a == "-D") {
      o.listAdapters = true;
    } else if (a == "-i") {
      if (!value(o.interface)) return out;
    } else if (a == "-r") {
      if (!value(o.readFile)) return out;
    } else if (a == "-w") {
      if (!value(o.writeFile)) return out;
    } else if (a == "-F") {
      if (!value(o.writeFormat)) return out;
      if (o.writeFormat != "pcapng" && o.writeFormat != "pcap") {
        out.error = "-F needs a file format: pcapng or pcap";
        return out;
      }
    } else if (a == "-f") {
      if (!value(o.filter)) return out;
    } else if (a == "--rules") {
      if (!value(o.rulesFile)) return out;
    } else if (a == "--print-filter") {
      o.printFilter = true;
    } else if (a == "-c") {
      std::string text;
      if (!value(text)) return out;
      std::uint64_t n = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
      if (ec != std::errc() || end != text.data() + text.size()) {
        out.error = "-c needs a positive number of frames";
        return out;
      }
      o.count = n;
    } else if (a == "--send") {
      if (!value(o.sendFile)) return out;
    } else if (a == "--gap") {
      std::string text;
      if (!value(text)) return out;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), o.gapMs);
      if (ec != std::errc() || end != text.data() + text.size()) {
        out.error = "--gap needs a number of milliseconds";
        return out;
      }
    } else if (a == "-B") {
      std::string text;
      if (!value(text)) return out;
      int mb = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), mb);
      if (ec != std::errc() || end != text.data() + text.size() || mb < kKernelBufferMinMB || mb > kKernelBufferMaxMB) {
        out.error = "-B needs a kernel buffer size from 1 to 1024 MB";
        return out;
      }
      o.bufferMB = mb;
    } else if (a == "-q") {
      o.quiet = true;
    } else if (a == "-V") {
      o.tree = true;
    } else if (a == "-x") {
      o.hex = true;
    } else if (a == "-T") {
      std::string format;
      if (!value(format)) return out;
      if (format != "json" && format != "fields") {
        out.error = "-T needs an output format: json or fields";
        return out;
      }
      o.json = format == "json";
      o.fields = format == "fields";
    } else if (a == "-e") {
      if (!value(o.outputFields.emplace_back())) return out;
    } else if (a == "-E") {
      std::string option;
      if (!value(option)) return out;
      if (!ApplyFieldOption(o.fieldFormat, option, out.error)) return out;
    } else if (a == "-Y") {
      if (!value(o.displayFilter)) return out;
      if (o.displayFilter.empty()) {
        out.error = "-Y needs a display filter";
        return out;
      }
    } else if (a == "-z") {
      if (!value(o.statistics.emplace_back())) return out;
    } else if (a == "-G") {
      std::string report;
      if (!value(report)) return out;
      if (report != "fields") {
        out.error = "-G needs a report: fields";
        return out;
      }
      o.listFields = true;
    } else if (a == "--log") {
      if (!value(o.logDirectory)) return out;
    } else if (a == "--log-count" || a == "--log-size") {
      std::string text;
      if (!value(text)) return out;
      char* end = nullptr;
      const double n = std::strtod(text.c_str(), &end);
      const bool count = a == "--log-count";
      if (text.empty() || *end != '\0' || !(n >= 1) || n > (count ? 1000000 : 100) || (count && n != static_cast<std::uint32_t>(n))) {
        out.error = count ? "--log-count needs a number of frames from 1 to 1000000"
                          : "--log-size needs a number of megabytes from 1 to 100";
        return out;
      }
      if (count) {
        o.logCount = static_cast<std::uint32_t>(n);
      } else {
        o.logSizeMb = n;
      }
    } else if (a == "--doctor") {
      o.doctor = true;
    } else if (a == "--stats") {
      o.stats = true;
    } else if (a == "--stats-rows") {
      std::string text;
      if (!value(text)) return out;
      int n = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
      if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > 1000) {
        out.error = "--stats-rows needs a number from 1 to 1000";
        return out;
      }
      o.statsRows = n;
    } else if (a == "--names") {
      o.names = true;
    } else if (a == "--script") {
      if (!value(o.scripts.emplace_back())) return out;
    } else if (a == "--disable-protocol" || a == "--enable-protocol") {
      std::string names;
      if (!value(names)) return out;
      if (!SwitchDecoders(o.decoders, names, a == "--enable-protocol", out.error)) return out;
    } else if (a == "-h" || a == "--help") {
      o.help = true;
    } else {
      out.error = "unknown argument " + a;
      return out;
    }
  }
  if (!o.interface.empty() && !o.readFile.empty()) out.error = "-i and -r exclude each other";
  // Only a send job takes a count of 0 (send until stopped).
  if (o.count == 0u && o.sendFile.empty()) out.error = "-c needs a positive number of frames";
  if (!o.sendFile.empty() && o.interface.empty()) out.error = "--send needs the adapter to send on (-i NAME)";
  if (!o.sendFile.empty() && !o.readFile.empty()) out.error = "--send and -r exclude each other";
  if (!o.filter.empty() && !o.rulesFile.empty()) out.error = "-f and --rules exclude each other";
  // The JSON lines are the whole of standard output.
  if (o.json && (o.quiet || o.tree || o.hex || o.stats)) out.error = "-T json excludes -q, -V, -x and --stats";
  if (o.fields && (o.quiet || o.tree || o.hex || o.stats)) out.error = "-T fields excludes -q, -V, -x and --stats";
  if (o.fields && o.outputFields.empty()) out.error = "-T fields needs the fields to print (-e FIELD)";
  if (!o.fields && !o.outputFields.empty()) out.error = "-e names a field for -T fields";
  return out;
}

}  // namespace qv
