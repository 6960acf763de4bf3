#pragma once
// The capture-rights doctor: which adapters the capture helper can open,
// whether it carries its capability, whether the user is in the capture
// group, and what to do when capturing is refused. Only the helper holds the
// right to capture; the window and the command line need none. It only
// looks: nothing is changed on the user's behalf.

#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_backend.h"
#include "capture/capture_rights.h"

namespace qv {

// The paragraph to append to an adapter open-failure message: the doctor's
// advice when the library refused for lack of rights, otherwise empty.
// `status` is the library's status code where the open returned one.
std::string OpenFailureAdvice(CaptureBackend& backend, std::string_view errorText, int status = 0);

struct AdapterCheck {
  std::string name;
  bool opened = false;
  std::string error;  // the library's text when the open failed
};

struct DoctorReport {
  bool listed = false;
  std::string listError;
  std::vector<AdapterCheck> adapters;
  CaptureRights rights;
  std::string helperDetail;  // the helper's own line on its rights
  std::string helperError;   // why the helper could not be asked

  int OpenedCount() const;
  bool AnyRefusedForRights() const;
};

// Lists the adapters and opens each one as a live capture would (and closes
// it at once), through `backend` in this process.
DoctorReport RunCaptureDoctor(CaptureBackend& backend);
// The same through the capture helper: its list says which adapters it could
// open, its rights mode what it holds.
DoctorReport RunHelperDoctor();

// The report as lines for the terminal, ending with the advice when an
// adapter was refused for lack of rights.
std::string FormatDoctorReport(const DoctorReport& report);

}  // namespace qv
