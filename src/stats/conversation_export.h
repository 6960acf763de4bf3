#pragma once
// The conversation table as a text file: a title line with the local time in
// asctime() form, a header between two rules of 69 "+", then one line a row.
// After the rows, a comment line for each address whose name came from the
// traffic says where it came from; a table without such names ends with its
// rows. Files are written with CR LF; the terminal gets LF.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "stats/conversation_table.h"

namespace qv {

// "Thu Dec 10 02:53:00 2026\n", always with English names (asctime's form,
// whatever the locale).
std::string AscTimeText(const std::tm& time);

std::string FormatConversationExport(const std::vector<ConversationRow>& rows, const std::tm& localTime,
                                     std::string_view lineEnd = "\r\n");

// "# host names: 10.0.0.5 = example.com (DNS answer)", once for each address
// that a row names from the traffic.
void AppendNameSources(std::string& out, const std::vector<ConversationRow>& rows, std::string_view lineEnd);

// Replaces the file's content; false when it cannot be opened or written.
bool WriteConversationExport(const std::string& path, const std::vector<ConversationRow>& rows,
                             const std::tm& localTime);

// The current local time, for the title line.
std::tm LocalTimeNow();

// The row order of a click on a column header: 1 when a's value is greater,
// -1 when smaller, 0 when equal. Addresses compare by their bytes in network
// order (so as numbers, not as text), every IPv4 address before every IPv6
// address; counts compare as numbers, host names as text without regard to
// case; the Ports column does not sort.
int CompareConversationRows(const ConversationRow& a, const ConversationRow& b, int column);

}  // namespace qv
