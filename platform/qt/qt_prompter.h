#pragma once

#include <QStringList>

#include "platform/prompter.h"

namespace platform {

// The prompter of the running application: Qt message boxes and common dialogs, parented to the
// active window. May be called from any thread; the box is shown on the GUI thread and the
// calling thread waits for the answer. Install it with setPrompter() once a QApplication exists.
class QtPrompter final : public Prompter {
 public:
  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
  std::optional<Rgb> chooseColour(Rgb initial) override;
  int runModal(ModalDialog& dialog) override;
};

// The Qt name filters ("Network files (*.mlp)") for a filter written as
// "Network files (*.mlp)|*.mlp|All files (*.*)|*.*||". Patterns separated by ';' become
// Qt's blank-separated list; "*.*" matches every file, as it did on the original platform.
QStringList qtNameFilters(const std::string& filter);

}  // namespace platform
