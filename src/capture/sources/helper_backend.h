#pragma once
// What the program asks of the capture helper besides a capture: the adapter
// list (its "list" mode) and its rights (its "rights" mode), and the capture
// backend of a session whose live runs go through the helper. This process
// itself needs no right to capture.

#include <cstdint>
#include <string>
#include <vector>

#include "capture/capture_backend.h"

namespace qv {

// The adapters as the helper's pcap_findalldevs lists them; failed, with the
// reason, when the helper cannot be started or says it cannot list them.
AdapterList ListAdaptersThroughHelper();

// The list with, for each adapter, whether the helper could open it to ask
// its link types.
struct HelperAdapterChecks {
  AdapterList list;
  std::vector<bool> opened;
};
HelperAdapterChecks CheckAdaptersThroughHelper();

// What the helper says of its rights.
struct HelperRights {
  bool answered = false;
  std::string path;       // the helper's path; empty when it was not found
  std::string error;      // why it did not answer
  std::uint32_t flags = 0;  // control::Rights bits
  std::string detail;     // its one line
  bool canCapture() const;
};
HelperRights AskHelperRights();

// The rights of the helper as the advice needs them: its file, its file
// capability, the group, the user, and whether it holds CAP_NET_RAW.
CaptureRights ProbeHelperCaptureRights();
CaptureRights HelperCaptureRights(const HelperRights& asked);

// The paragraph after an open-failure message when the helper was refused
// for lack of rights (empty otherwise).
std::string HelperOpenFailureAdvice(const std::string& errorText);

class HelperBackend : public CaptureBackend {
 public:
  AdapterList ListAdapters() override { return ListAdaptersThroughHelper(); }
  // Live opens go through the helper's capture source, never here.
  LiveOpenResult OpenLive(const LiveOpenRequest& request) override;
  std::array<std::uint8_t, 6> AdapterAddress(const std::string& adapter) override {
    return FindAdapterAddress(adapter);
  }
  CaptureRights ProbeRights() override { return ProbeHelperCaptureRights(); }
};

}  // namespace qv
