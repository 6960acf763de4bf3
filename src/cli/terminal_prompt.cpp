#include "cli/terminal_prompt.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace qv {

void TerminalPrompt::ShowMessage(const std::string& text, const std::string& /*caption*/, MessageIcon /*icon*/) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", text.c_str());
}

bool TerminalPrompt::AskYesNo(const std::string& text, const std::string& /*caption*/) {
  if (isatty(STDIN_FILENO) == 0) return false;
  std::fprintf(stderr, "%s [y/n] ", text.c_str());
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

std::optional<std::size_t> TerminalPrompt::ChooseAdapter(const std::vector<Adapter>& adapters) {
  if (isatty(STDIN_FILENO) == 0) {
    std::fprintf(stderr, "Select adapter which I may use to sniff: several adapters, name one with -i\n");
    return std::nullopt;
  }
  std::fprintf(stderr, "Wybierz urządzenie\nSelect adapter which I may use to sniff\n");
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    std::fprintf(stderr, "%3zu  %-16s %s\n", i + 1, adapters[i].name.c_str(), adapters[i].description.c_str());
  }
  for (;;) {
    std::fprintf(stderr, "> ");
    std::string answer;
    if (!std::getline(std::cin, answer) || answer.empty()) return std::nullopt;
    try {
      const std::size_t pick = std::stoul(answer);
      if (pick >= 1 && pick <= adapters.size()) return pick - 1;
    } catch (const std::exception&) {
    }
    std::fprintf(stderr, "Zaznacz urządzenie które ma snifować!\n");
  }
}

}  // namespace qv
