#include "cli/statistics_report.h"

#include "stats/conversation_export.h"
#include "stats/layer_chart.h"

namespace qv {

void PrintStatistics(SessionStatistics& statistics, std::FILE* out) {
  // A name learned after a conversation's last frame names it too.
  statistics.conversations.TakeNewLearnedNames();
  const std::string layers = FormatLayerLists(statistics.layers);
  const std::string table = FormatConversationExport(statistics.conversations.Rows(), LocalTimeNow(), "\n");
  std::fwrite(layers.data(), 1, layers.size(), out);
  std::fwrite(table.data(), 1, table.size(), out);
}

}  // namespace qv
