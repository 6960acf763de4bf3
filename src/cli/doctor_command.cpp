#include "cli/doctor_command.h"

#include "capture/capture_backend.h"
#include "capture/capture_doctor.h"

namespace qv {

int RunDoctorCommand(std::FILE* out) {
  PcapBackend backend;
  const DoctorReport report = RunCaptureDoctor(backend);
  std::fputs(FormatDoctorReport(report).c_str(), out);
  std::fflush(out);
  return report.OpenedCount() > 0 ? 0 : 1;
}

}  // namespace qv
