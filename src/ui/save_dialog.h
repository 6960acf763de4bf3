#pragma once
// The Save dialog: the file types pcapng, pcap and the classic log, and a
// "Compress with gzip" box. The type offered first is pcapng whenever the
// frames need it (several link types, a comment), otherwise log, as ever.

#include <QString>

#include <optional>
#include <string>

#include "capture/savefile_writer.h"

class QWidget;

namespace qv {

enum class SaveFileType { Pcapng, Pcap, Log };

// The name filter of each type in the dialog: "pcapng (*.pcapng)" and so on.
QString SaveFileFilter(SaveFileType type);

// The type the dialog selects first for a buffer with `linkTypes` link types.
SaveFileType DefaultSaveFileType(std::size_t linkTypes, bool hasComments);

// What the user chose in the dialog.
struct SaveChoice {
  QString path;
  SaveFileType type = SaveFileType::Log;
  bool gzip = false;
};

struct SaveRequest {
  std::string path;  // ".gz" appended when compressing and the name lacks it
  SaveOptions options;
};

// The file to write and how. A log is written in the automatic format
// (pcap, or pcapng when the frames need it); a name already ending in
// ".gz" is compressed as it says, box or not.
SaveRequest SaveRequestFor(const SaveChoice& choice);

// Asks for the file in `folder`, `preselected` first; nothing when cancelled.
std::optional<SaveChoice> AskSaveChoice(QWidget* parent, const QString& folder, SaveFileType preselected);

}  // namespace qv
