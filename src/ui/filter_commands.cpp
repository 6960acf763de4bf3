#include "ui/filter_commands.h"

#include <QLineEdit>
#include <QTabWidget>

#include "filters/filter_rules.h"
#include "filters/filter_settings.h"
#include "ui/filters_page.h"
#include "ui/list_filter_bar.h"
#include "ui/packet_info_bar.h"
#include "ui/packets_page.h"
#include "ui/statistics_page.h"

namespace qv {

FilterCommands::FilterCommands(SettingsStore& store, const FilterCommandPages& pages, QObject* parent)
    : QObject(parent), store_(store), pages_(pages) {
  for (const std::string& name : LoadFieldColumns(store_)) pages_.packets->AddFieldColumn(FindField(name));
  connect(pages_.packets, &PacketsPage::fieldColumnsChanged, this, [this] {
    std::vector<std::string> names;
    for (const FieldInfo* f : pages_.packets->Model().FieldColumns()) names.emplace_back(f->abbrev);
    SaveFieldColumns(store_, names);
    store_.Flush();
  });
  connect(pages_.info, &PacketInfoBar::columnRequested, pages_.packets, &PacketsPage::AddFieldColumn);
  connect(pages_.info, &PacketInfoBar::filterRequested, this,
          [this](const QString& selected, FilterCombine how, bool apply) {
            const QString filter = QString::fromStdString(
                CombineFilters(pages_.listFilter->Field()->text().toStdString(), selected.toStdString(), how));
            if (apply) {
              pages_.listFilter->Apply(filter);
            } else {
              pages_.listFilter->Prepare(filter);
            }
          });
  connect(pages_.statistics, &StatisticsPage::conversationFilterRequested, this, [this](const QString& filter) {
    pages_.listFilter->Apply(filter);
    pages_.tabs->setCurrentWidget(pages_.packets);
  });
  // A pie slice of a protocol the rule pages know ticks its row and shows the
  // Filters page: from "what is on my wire" to "capture only that"; any other
  // slice copies its name.
  connect(pages_.statistics, &StatisticsPage::protocolClicked, this, [this](const QString& name) {
    if (pages_.filters->TickProtocol(FilterKeywordForProtocol(name.toStdString()))) {
      pages_.tabs->setCurrentWidget(pages_.filters);
    } else {
      UseClickedProtocol(name);
    }
  });
}

}  // namespace qv
