#include "sender/send_adapter.h"

namespace qv {

std::optional<std::string> ResolveSendAdapter(CTalvenorDoc& doc, UserPrompt& prompt) {
  if (doc.Adapters().empty() && !doc.EnumerateAdapters()) return std::nullopt;
  if (const std::optional<Adapter> chosen = doc.ChosenAdapter()) return chosen->name;
  const std::optional<std::size_t> pick = prompt.ChooseAdapter(doc.Adapters());
  if (!pick || !doc.ChooseAdapter(*pick)) return std::nullopt;
  return doc.Adapters()[*pick].name;
}

}  // namespace qv
