// The session's sources beyond one local adapter: several adapters chosen at
// once, adapters of other hosts, standard input and FIFOs.

#include "capture/capture_session.h"

namespace qv {

bool CTalvenorDoc::ChooseAdapters(std::vector<std::size_t> indexes) {
  if (indexes.empty()) return false;
  for (std::size_t index : indexes) {
    if (index >= adapters_.size()) return false;
  }
  return ChooseAdapter(indexes.front());
}

std::vector<Adapter> CTalvenorDoc::ChosenAdapters() const {
  std::vector<Adapter> out;
  if (const std::optional<Adapter> one = ChosenAdapter()) out.push_back(*one);
  return out;
}

void CTalvenorDoc::AddRemoteAdapter(const RemoteTarget&, const RemoteOptions&) {}
void CTalvenorDoc::SetRemoteOptions(RemoteOptions) {}
bool CTalvenorDoc::StartOn(std::vector<std::string>) { return false; }

}  // namespace qv
