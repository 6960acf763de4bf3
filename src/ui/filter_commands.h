#pragma once
// The window's filter commands between its pages: the decode tree's "Apply
// as Filter", "Prepare as Filter" and "Apply as Column", the field columns
// kept in the settings, the statistics' "Filter on this conversation", and
// a pie slice that ticks its protocol on the Filters page.

#include <QObject>

#include "capture/settings_store.h"

class QTabWidget;

namespace qv {

class CFiltersPage;
class ListFilterBar;
class PacketInfoBar;
class PacketsPage;
class StatisticsPage;

struct FilterCommandPages {
  QTabWidget* tabs;
  PacketsPage* packets;
  PacketInfoBar* info;
  StatisticsPage* statistics;
  CFiltersPage* filters;
  ListFilterBar* listFilter;
};

class FilterCommands : public QObject {
  Q_OBJECT
 public:
  // Shows the field columns kept in `store` and wires the pages' commands.
  FilterCommands(SettingsStore& store, const FilterCommandPages& pages, QObject* parent);

 private:
  SettingsStore& store_;
  FilterCommandPages pages_;
};

}  // namespace qv
