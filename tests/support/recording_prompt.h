#pragma once
// A user who answers from a script and remembers every message.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/user_prompt.h"

namespace qv::testing {

class RecordingPrompt : public UserPrompt {
 public:
  void ShowMessage(const std::string& text, const std::string& /*caption*/, MessageIcon /*icon*/) override {
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
  }
  bool AskYesNo(const std::string& text, const std::string& /*caption*/) override {
    std::lock_guard lock(mutex_);
    questions_.push_back(text);
    return yes;
  }
  std::optional<std::size_t> ChooseAdapter(const std::vector<Adapter>& adapters) override {
    std::lock_guard lock(mutex_);
    ++adapterDialogs_;
    offered_ = adapters;
    return adapterChoice;
  }

  std::vector<std::string> Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  int AdapterDialogs() const {
    std::lock_guard lock(mutex_);
    return adapterDialogs_;
  }

  bool yes = true;
  std::optional<std::size_t> adapterChoice;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  std::vector<std::string> questions_;
  std::vector<Adapter> offered_;
  int adapterDialogs_ = 0;
};

}  // namespace qv::testing
