#pragma once
// Sending through the capture helper: its "send" mode opens the adapter and
// runs the job loop itself (count, gap, Stop), telling how far it has got;
// this process needs no right to send.

#include "sender/send_job.h"

namespace qv {

class HelperSendBackend : public SendBackend {
 public:
  // Not used: the job runs in the helper.
  std::unique_ptr<FrameOutlet> Open(const std::string& adapter, std::string& error) override;
  std::optional<SendResult> RunJob(const SendRequest& request, const JobHooks& hooks, std::string& error) override;
};

}  // namespace qv
