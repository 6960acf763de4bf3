#include "capture/capture_doctor.h"

#include <algorithm>

#include "capture/capture_session.h"
#include "capture/pcap_handle.h"
#include "capture/sources/helper_backend.h"

namespace qv {

std::string OpenFailureAdvice(CaptureBackend& backend, std::string_view errorText, int status) {
  if (!IsPermissionFailure(status, errorText)) return {};
  return CaptureRightsAdvice(backend.ProbeRights());
}

int DoctorReport::OpenedCount() const {
  return static_cast<int>(std::count_if(adapters.begin(), adapters.end(), [](const AdapterCheck& a) { return a.opened; }));
}

bool DoctorReport::AnyRefusedForRights() const {
  return std::any_of(adapters.begin(), adapters.end(),
                     [](const AdapterCheck& a) { return !a.opened && IsPermissionFailure(0, a.error); });
}

DoctorReport RunCaptureDoctor(CaptureBackend& backend) {
  DoctorReport report;
  const AdapterList list = backend.ListAdapters();
  report.listed = !list.failed;
  report.listError = list.error;
  for (const Adapter& adapter : list.adapters) {
    LiveOpenRequest request;
    request.adapter = adapter.name;
    request.snapshotLength = CTalvenorDoc::kSnapshotLength;
    request.promiscuous = true;
    request.timeoutMs = CTalvenorDoc::kReadTimeoutMs;
    LiveOpenResult opened = backend.OpenLive(request);
    PcapHandle handle(opened.handle);
    report.adapters.push_back({adapter.name, handle != nullptr, handle ? std::string() : opened.error});
  }
  report.rights = backend.ProbeRights();
  return report;
}

DoctorReport RunHelperDoctor() {
  DoctorReport report;
  const HelperAdapterChecks checks = CheckAdaptersThroughHelper();
  report.listed = !checks.list.failed;
  report.listError = checks.list.error;
  for (std::size_t i = 0; i < checks.list.adapters.size(); ++i) {
    const bool opened = i < checks.opened.size() && checks.opened[i];
    report.adapters.push_back({checks.list.adapters[i].name, opened,
                               opened ? std::string() : std::string("the capture helper could not open it")});
  }
  const HelperRights asked = AskHelperRights();
  report.rights = HelperCaptureRights(asked);
  report.helperDetail = asked.detail;
  report.helperError = asked.error;
  return report;
}

std::string FormatDoctorReport(const DoctorReport& report) {
  const CaptureRights& r = report.rights;
  const std::string group = kCaptureGroup;
  std::string out = "Adapters, opened as a live capture opens them:\n";
  if (!report.listed) out += "  the adapter list failed: " + report.listError + "\n";
  if (report.listed && report.adapters.empty()) out += "  none found\n";
  for (const AdapterCheck& a : report.adapters) {
    out += a.opened ? "  ok       " + a.name + "\n" : "  refused  " + a.name + ": " + a.error + "\n";
  }

  auto capabilities = [](bool has) { return has ? std::string(kCaptureCapabilities) : std::string("none"); };
  out += "Capture helper " + (r.executable.empty() ? std::string("(not found)") : r.executable) + "\n";
  out += "  file capabilities: " + capabilities(r.fileHasCapabilities) + "\n";
  out += std::string("  when it runs: ") +
         (r.processCanCapture ? (r.root ? "runs as root and may capture" : "holds CAP_NET_RAW and may capture")
                              : "does not hold CAP_NET_RAW") +
         "\n";
  if (!report.helperDetail.empty()) out += "  it says: " + report.helperDetail + "\n";
  if (!report.helperError.empty()) out += "  it could not be asked: " + report.helperError + "\n";
  out += "Only the capture helper holds the right to capture: quorvanet and quorvanet-cli need no capability,\n"
         "and the helper gives up its own once the adapter is open.\n";

  if (!r.groupExists) {
    out += "Group " + group + ": does not exist (the Debian package creates it)\n";
  } else {
    out += "Group " + group + ": exists; the capture helper " +
           (r.executableInGroup ? "belongs to it\n" : "does not belong to it (not the installed copy)\n");
    const std::string user = r.userName.empty() ? std::string("this user") : "user " + r.userName;
    if (!r.userInGroup) {
      out += "  " + user + ": not a member\n";
    } else {
      out += "  " + user + ": a member" +
             (r.sessionInGroup ? std::string(", active in this login session\n")
                               : std::string(", not yet in this login session (log out and back in)\n"));
    }
  }

  const int opened = report.OpenedCount();
  if (opened > 0) {
    out += "Result: " + std::to_string(opened) + " of " + std::to_string(report.adapters.size()) +
           " adapters can be opened for capturing.\n";
  } else {
    out += "Result: no adapter can be opened for capturing.\n";
  }
  // The helper's list gives no reason for an adapter it could not open: when
  // nothing opens and the helper does not hold its right, that is the reason.
  if (report.AnyRefusedForRights() || (opened == 0 && !r.processCanCapture)) {
    std::string advice = CaptureRightsAdvice(r);
    if (advice.size() > 2) out += advice.substr(2) + "\n";  // without the leading blank line
  }
  return out;
}

}  // namespace qv
