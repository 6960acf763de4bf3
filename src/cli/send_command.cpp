#include "cli/send_command.h"

#include <cstdio>
#include <string>

#include "cli/terminal_prompt.h"
#include "sender/helper_send_backend.h"
#include "sender/packet_file.h"
#include "sender/send_job.h"

namespace qv {

int RunSendCommand(const CliOptions& options, const sigset_t& stopSignals) {
  TerminalPrompt prompt;
  std::string error;
  const std::optional<SendNumbers> numbers =
      ParseSendNumbers(std::to_string(options.count.value_or(1)), std::to_string(options.gapMs), &error);
  if (!numbers) {
    prompt.ShowMessage(error, {}, MessageIcon::Error);
    return 2;
  }
  PacketFileLoad load = LoadPacketFile(options.sendFile);
  if (!load.error.empty()) {
    prompt.ShowMessage(options.sendFile + ": " + load.error, {}, MessageIcon::Error);
    return 1;
  }
  HelperSendBackend backend;
  SendJob job(backend, prompt);
  job.Start({options.interface, std::move(load.frame), *numbers});
  const timespec tick{0, 50 * 1000 * 1000};
  while (job.Sending()) {
    if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) job.Stop();
  }
  job.WaitUntilIdle(std::chrono::milliseconds(60000));
  const std::optional<SendResult> result = job.TakeResult();
  if (!result || !result->opened) return 1;
  std::printf("sent %s\n", DescribeSendResult(*result).c_str());
  return result->failed == 0 ? 0 : 1;
}

}  // namespace qv
