#pragma once
// The user, as the command-line front end reaches them: messages on stderr,
// questions answered on the terminal when there is one.

#include "capture/user_prompt.h"

namespace qv {

class TerminalPrompt : public UserPrompt {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  std::optional<std::size_t> ChooseAdapter(const std::vector<Adapter>& adapters) override;
};

}  // namespace qv
