#include "ui/save_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>

#include <array>

namespace qv {

namespace {

struct TypeInfo {
  SaveFileType type;
  const char* filter;
  const char* suffix;
};
constexpr std::array<TypeInfo, 3> kTypes = {{
    {SaveFileType::Pcapng, "pcapng (*.pcapng)", "pcapng"},
    {SaveFileType::Pcap, "pcap (*.pcap)", "pcap"},
    {SaveFileType::Log, "log (*.log)", "log"},
}};

const TypeInfo& InfoOf(SaveFileType type) {
  for (const TypeInfo& t : kTypes) {
    if (t.type == type) return t;
  }
  return kTypes.back();
}

}  // namespace

QString SaveFileFilter(SaveFileType type) { return QString::fromLatin1(InfoOf(type).filter); }

SaveFileType DefaultSaveFileType(std::size_t linkTypes, bool hasComments) {
  // A pcap file holds one link type and no comments; log is pcap.
  return linkTypes > 1 || hasComments ? SaveFileType::Pcapng : SaveFileType::Log;
}

SaveRequest SaveRequestFor(const SaveChoice& choice) {
  SaveRequest request;
  request.path = choice.path.toStdString();
  switch (choice.type) {
    case SaveFileType::Pcapng: request.options.format = SaveFormat::Pcapng; break;
    case SaveFileType::Pcap: request.options.format = SaveFormat::Pcap; break;
    case SaveFileType::Log: request.options.format = SaveFormat::Automatic; break;
  }
  const bool named = NameAsksForGzip(request.path);
  request.options.gzip = choice.gzip || named;
  if (choice.gzip && !named) request.path += ".gz";
  return request;
}

std::optional<SaveChoice> AskSaveChoice(QWidget* parent, const QString& folder, SaveFileType preselected) {
  QStringList filters;
  for (const TypeInfo& t : kTypes) filters << QString::fromLatin1(t.filter);
  QFileDialog dialog(parent, QStringLiteral("Save"), folder);
  // The platform's own dialog takes no extra widgets.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setNameFilters(filters);
  auto* gzip = new QCheckBox(QStringLiteral("Compress with gzip"), &dialog);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    grid->addWidget(gzip, grid->rowCount(), 0, 1, grid->columnCount());
  } else if (dialog.layout() != nullptr) {
    dialog.layout()->addWidget(gzip);
  }
  // A name typed without a suffix takes the chosen type's.
  auto suffixFor = [&dialog](const QString& filter) {
    for (const TypeInfo& t : kTypes) {
      if (filter == QLatin1String(t.filter)) dialog.setDefaultSuffix(QString::fromLatin1(t.suffix));
    }
  };
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, suffixFor);
  dialog.selectNameFilter(SaveFileFilter(preselected));
  suffixFor(SaveFileFilter(preselected));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  SaveChoice choice;
  choice.path = dialog.selectedFiles().front();
  choice.gzip = gzip->isChecked();
  for (const TypeInfo& t : kTypes) {
    if (dialog.selectedNameFilter() == QLatin1String(t.filter)) choice.type = t.type;
  }
  return choice;
}

}  // namespace qv
