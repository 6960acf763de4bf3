#include "cli/cli_options.h"

#include <charconv>

namespace qv {

const char* CliUsage() {
  return "usage: quorvanet-cli [-D] [-i NAME | -r FILE] [-c N] [-w FILE] [-f FILTER | --rules FILE.rul]\n"
         "                     [--print-filter] [-q] [-V] [-x]\n"
         "  -D          list the adapters and exit\n"
         "  -i NAME     capture live on adapter NAME\n"
         "  -r FILE     read a savefile (pcap or pcapng)\n"
         "  -c N        stop after N frames\n"
         "  -w FILE     save the buffer to FILE at the end (newest frame first)\n"
         "  -f FILTER   capture filter (libpcap syntax), also for the frames read with -r\n"
         "  --rules FILE.rul  build the filter from a rule file, used like -f\n"
         "  --print-filter    print the filter as built and exit\n"
         "  -q          print no rows, only the totals at the end\n"
         "  -V          print each frame's decode tree after its row\n"
         "  -x          print each frame's hex dump and layer starts (with -V)\n"
         "Rows: Time, Size, Src MAC, Dest MAC, Src IP, Dest IP, Src Port, Dest Port, Protocols, tab-separated.\n";
}

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
      if (ec != std::errc() || end != text.data() + text.size() || n == 0) {
        out.error = "-c needs a positive number of frames";
        return out;
      }
      o.count = n;
    } else if (a == "-q") {
      o.quiet = true;
    } else if (a == "-V") {
      o.tree = true;
    } else if (a == "-x") {
      o.hex = true;
    } else if (a == "-h" || a == "--help") {
      o.help = true;
    } else {
      out.error = "unknown argument " + a;
      return out;
    }
  }
  if (!o.interface.empty() && !o.readFile.empty()) out.error = "-i and -r exclude each other";
  if (!o.filter.empty() && !o.rulesFile.empty()) out.error = "-f and --rules exclude each other";
  return out;
}

}  // namespace qv
