#include "cli/doctor_command.h"

#include "capture/capture_backend.h"
#include "capture/capture_doctor.h"

namespace qv {

int RunDoctorCommand(std::FILE* out) {
  const DoctorReport report = RunHelperDoctor();
  std::fputs(FormatDoctorReport(report).c_str(), out);
  std::fflush(out);
  return report.OpenedCount() > 0 ? 0 : 1;
}

}  // namespace qv
