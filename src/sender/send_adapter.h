#pragma once
// Which adapter a send job uses: the session's chosen adapter, or the one
// the user picks in the adapter dialog (which then becomes the session's
// choice, without changing the stored "CurrentDevice").

#include <optional>
#include <string>

#include "capture/capture_session.h"
#include "capture/user_prompt.h"

namespace qv {

// None when the adapters cannot be listed or the user cancels the choice.
std::optional<std::string> ResolveSendAdapter(CTalvenorDoc& doc, UserPrompt& prompt);

}  // namespace qv
