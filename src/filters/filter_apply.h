#pragma once
// Applying the built expression to the open capture handle, and checking one
// expression with the capture library's compiler before it joins the
// advanced rules. Both speak to the user through the session's prompt seam.

#include <string>

#include "capture/capture_session.h"
#include "capture/user_prompt.h"
#include "filters/filter_rules.h"

namespace qv {

inline constexpr const char* kNoFilterMessage = "There is no filter!";
inline constexpr const char* kNoDeviceListMessage = "I couldn't obtain a device list";
inline constexpr const char* kCheckOpenFailed = "Error while opening adapter:\n%s";
inline constexpr const char* kCheckCompileFailed = "Error occured while compiling filter:\n%s";
inline constexpr const char* kFilterCorrectMessage = "Filter string is correct!";

// Builds the expression from `rules` and sets it on the session's open
// handle (a live capture or a file being read). No handle: false, silently.
// Compile and set failures show their message; the handle keeps its filter.
bool ApplyFilter(CTalvenorDoc& doc, const FilterRules& rules, UserPrompt& prompt,
                 const FilterBuildOptions& options = {});

// Compiles `text` (trimmed of blanks and tabs) without setting it anywhere:
// on the open handle while one is, otherwise on an adapter the user picks
// for this check alone (asked every time).
bool CheckFilterExpression(CTalvenorDoc& doc, const std::string& text, UserPrompt& prompt);

}  // namespace qv
