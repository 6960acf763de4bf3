#include "capture/sources/helper_backend.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include "capture/sources/helper_process.h"

namespace qv {

namespace {

// Listing and the rights check are quick; a helper that takes longer is
// stuck, and killed.
constexpr auto kAnswerLimit = std::chrono::seconds(10);

struct Answer {
  std::optional<control::Message> message;  // the awaited one
  std::string error;                         // else why not
};

// Runs the helper in `mode` and waits for its message of type `wanted`.
Answer RunMode(const std::string& mode, control::MessageType wanted) {
  Answer answer;
  std::unique_ptr<HelperProcess> helper = HelperProcess::Start({mode}, -1, answer.error);
  if (!helper) return answer;
  const auto until = std::chrono::steady_clock::now() + kAnswerLimit;
  while (std::chrono::steady_clock::now() < until) {
    std::vector<control::Message> messages;
    const HelperProcess::Read got = helper->Receive(std::chrono::milliseconds(100), messages);
    for (control::Message& m : messages) {
      if (m.type == wanted) {
        answer.message = std::move(m);
        return answer;
      }
      if (m.type == control::MessageType::Error) {
        const std::optional<control::Error> e = control::Error::Decode(m.payload);
        answer.error = e ? e->text : "the capture helper's Error message was damaged";
        return answer;
      }
    }
    if (got == HelperProcess::Read::Closed || got == HelperProcess::Read::Broken) {
      answer.error = "The capture helper stopped unexpectedly";
      if (!helper->Problem().empty()) answer.error += ": " + helper->Problem();
      return answer;
    }
  }
  answer.error = "The capture helper did not answer.";
  return answer;
}

std::string AddressText(const control::AdapterAddress& a) {
  char text[INET6_ADDRSTRLEN] = {};
  if (a.family == AF_INET && inet_ntop(AF_INET, a.address.data(), text, sizeof text) != nullptr) return text;
  if (a.family == AF_INET6 && inet_ntop(AF_INET6, a.address.data(), text, sizeof text) != nullptr) return text;
  return {};
}

}  // namespace

AdapterList ListAdaptersThroughHelper() {
  AdapterList list = CheckAdaptersThroughHelper().list;
  // A helper this user may not run: what to do comes with the refusal, as
  // it does when a capture is refused.
  if (list.failed) list.error += HelperOpenFailureAdvice(list.error);
  return list;
}

HelperAdapterChecks CheckAdaptersThroughHelper() {
  HelperAdapterChecks checks;
  AdapterList& list = checks.list;
  Answer answer = RunMode("list", control::MessageType::Adapters);
  std::optional<control::Adapters> adapters;
  if (answer.message) {
    adapters = control::Adapters::Decode(answer.message->payload);
    if (!adapters) answer.error = "the capture helper's adapter list was damaged";
  }
  if (!adapters) {
    list.failed = true;
    list.error = answer.error;
    return checks;
  }
  for (const control::AdapterEntry& e : adapters->adapters) {
    Adapter a{e.name, e.description};
    a.flags = e.flags;
    for (const control::AdapterAddress& address : e.addresses) {
      if (std::string text = AddressText(address); !text.empty()) a.addresses.push_back(std::move(text));
    }
    // The helper asks an adapter it could open; the others are told by their kind.
    a.linkType = e.linkTypes.size() == 1 ? static_cast<int>(e.linkTypes.front()) : GuessAdapterLinkType(a.name);
    list.adapters.push_back(std::move(a));
    checks.opened.push_back(!e.linkTypes.empty());
  }
  return checks;
}

bool HelperRights::canCapture() const {
  return answered && (flags & (control::Rights::kNetRawEffective | control::Rights::kPacketSocketOpens)) != 0;
}

HelperRights AskHelperRights() {
  HelperRights rights;
  rights.path = FindCaptureHelper();
  if (rights.path.empty()) {
    std::vector<std::string> looked;
    FindCaptureHelper(&looked);
    rights.error = HelperMissingText(looked);
    return rights;
  }
  Answer answer = RunMode("rights", control::MessageType::Rights);
  if (!answer.message) {
    rights.error = answer.error;
    return rights;
  }
  const std::optional<control::Rights> r = control::Rights::Decode(answer.message->payload);
  if (!r) {
    rights.error = "the capture helper's Rights message was damaged";
    return rights;
  }
  rights.answered = true;
  rights.flags = r->flags;
  rights.detail = r->detail;
  return rights;
}

CaptureRights HelperCaptureRights(const HelperRights& asked) {
  CaptureRights r = ProbeCaptureRights(asked.path);
  r.helperFound = !asked.path.empty();
  r.root = (asked.flags & control::Rights::kRunningAsRoot) != 0;
  r.processCanCapture = asked.canCapture();
  return r;
}

CaptureRights ProbeHelperCaptureRights() { return HelperCaptureRights(AskHelperRights()); }

std::string HelperOpenFailureAdvice(const std::string& errorText) {
  if (!IsPermissionFailure(0, errorText)) return {};
  return CaptureRightsAdvice(ProbeHelperCaptureRights());
}

LiveOpenResult HelperBackend::OpenLive(const LiveOpenRequest& /*request*/) {
  LiveOpenResult result;
  result.error = "adapters are opened by the capture helper";
  return result;
}

}  // namespace qv
