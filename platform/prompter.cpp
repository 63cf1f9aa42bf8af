#include "platform/prompter.h"

#include <atomic>

namespace platform {
namespace {

// Used when no prompter is installed: a library loaded without a host must never block on an
// invisible box, so it takes the safe answer.
class RefusingPrompter final : public Prompter {
 public:
  int messageBox(const std::string&, const std::string&, unsigned flags) override {
    switch (flags & kButtonMask) {
      case MB_YESNO:
        return IDNO;
      case MB_OKCANCEL:
      case MB_YESNOCANCEL:
        return IDCANCEL;
      default:
        return IDOK;
    }
  }
  std::optional<std::string> fileDialog(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<Rgb> chooseColour(Rgb) override { return std::nullopt; }
  int runModal(ModalDialog&) override { return IDCANCEL; }
};

RefusingPrompter refusing;
std::atomic<Prompter*> current{nullptr};

}  // namespace

Prompter& prompter() {
  Prompter* p = current.load();
  return p ? *p : refusing;
}

Prompter* setPrompter(Prompter* p) {
  return current.exchange(p);
}

std::vector<std::pair<std::string, std::string>> parseFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (start <= filter.size()) {
    auto bar = filter.find('|', start);
    if (bar == std::string::npos) bar = filter.size();
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<std::pair<std::string, std::string>> result;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;  // "||" ends the list
    result.emplace_back(parts[i], parts[i + 1]);
  }
  return result;
}

}  // namespace platform
