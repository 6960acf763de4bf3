#include "capture/sources/remote_source.h"

#include "capture/sources/stream_source.h"

namespace qv {

namespace {

// Until the ssh runner is in place: a remote adapter cannot be opened.
class UnavailableRemoteSource : public LiveSource {
 public:
  explicit UnavailableRemoteSource(RemoteTarget target) : target_(std::move(target)) {}
  std::optional<LiveOpened> Open(const LiveRequest&, const LiveReport& report) override {
    report.Message("Capturing on " + target_.host + " is not possible in this build.", MessageIcon::Error);
    return std::nullopt;
  }
  Status Read(std::chrono::milliseconds, const std::function<bool(const LiveFrame&)>&) override {
    return Status::Ended;
  }
  std::optional<LiveDrops> Drops() override { return std::nullopt; }
  void Stop() override {}
  void AttachFilters(FilterSlot&) override {}
  void ServeFilters(FilterSlot&) override {}
  void DetachFilters(FilterSlot&) override {}

 private:
  RemoteTarget target_;
};

}  // namespace

std::unique_ptr<LiveSource> MakeRemoteSource(const RemoteTarget& target, const RemoteOptions& /*options*/) {
  return std::make_unique<UnavailableRemoteSource>(target);
}

}  // namespace qv
