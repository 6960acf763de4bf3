#pragma once
// How the core speaks to the user: the window shows message boxes on its
// interface thread, the command-line front end writes to the terminal, tests
// record. Calls may come from the capture thread; an implementation returns
// only once the user has answered.

#include <optional>
#include <string>
#include <vector>

#include "capture/adapters.h"

namespace qv {

enum class MessageIcon { None, Information, Warning, Error };

class UserPrompt {
 public:
  virtual ~UserPrompt() = default;
  virtual void ShowMessage(const std::string& text, const std::string& caption = {},
                           MessageIcon icon = MessageIcon::Warning) = 0;
  virtual bool AskYesNo(const std::string& text, const std::string& caption = {}) = 0;
  // The adapter choice dialog; the index into `adapters`, or none when cancelled.
  virtual std::optional<std::size_t> ChooseAdapter(const std::vector<Adapter>& adapters) = 0;
  // The dialog for a capture, where several adapters may be chosen at once;
  // their indexes in the order of the list, or none when cancelled.
  virtual std::optional<std::vector<std::size_t>> ChooseAdapters(const std::vector<Adapter>& adapters) {
    const std::optional<std::size_t> one = ChooseAdapter(adapters);
    if (!one) return std::nullopt;
    return std::vector<std::size_t>{*one};
  }
};

}  // namespace qv
