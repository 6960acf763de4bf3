#include "capture/sources/stream_source.h"

#include <unistd.h>

namespace qv {

StreamSource::StreamSource(int fd, bool owned, std::string name, Options options)
    : fd_(fd), owned_(owned), name_(std::move(name)), options_(options) {}

StreamSource::StreamSource(const SourceAddress& address) : path_(address.text), name_(SourceDisplayName(address)) {}

StreamSource::~StreamSource() {
  if (owned_ && fd_ >= 0) ::close(fd_);
}

std::optional<LiveOpened> StreamSource::Open(const LiveRequest&, const LiveReport& report) {
  report.Message("Reading " + name_ + " live is not possible yet.", MessageIcon::Error);
  return std::nullopt;
}

LiveSource::Status StreamSource::Read(std::chrono::milliseconds, const std::function<bool(const LiveFrame&)>&) {
  return Status::Ended;
}

void StreamSource::Stop() {}
void StreamSource::AttachFilters(FilterSlot&) {}
void StreamSource::ServeFilters(FilterSlot&) {}
void StreamSource::DetachFilters(FilterSlot&) {}

}  // namespace qv
