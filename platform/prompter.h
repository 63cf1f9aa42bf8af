#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Message-box style flags; the values are those of the original platform so stored or logged
// flags read the same.
enum MessageBoxFlag : unsigned {
  MB_OK = 0x0000,
  MB_OKCANCEL = 0x0001,
  MB_YESNOCANCEL = 0x0003,
  MB_YESNO = 0x0004,
  MB_ICONERROR = 0x0010,
  MB_ICONQUESTION = 0x0020,
  MB_ICONWARNING = 0x0030,
  MB_ICONINFORMATION = 0x0040,
  MB_SYSTEMMODAL = 0x1000,
};
inline constexpr unsigned kButtonMask = 0x000F;
inline constexpr unsigned kIconMask = 0x00F0;

// Answers of message boxes and modal dialogs.
enum DialogResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// A request for the common open or save dialog.
struct FileDialogRequest {
  bool save = false;       // save dialog when set, open dialog otherwise
  std::string defaultExt;  // appended when the user types a name without extension ("mlp")
  std::string fileName;    // proposed name
  std::string filter;      // "Network files (*.mlp)|*.mlp||"
  bool overwritePrompt = false;
  bool mustExist = false;
  std::string title;  // empty: the platform's "Open"/"Save As"
};

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A dialog that can be run modally. The Qt prompter shows it and waits; the scripted prompter
// hands it to the test's script, which may change its fields before answering.
class ModalDialog {
 public:
  virtual ~ModalDialog() = default;
  virtual std::string dialogTitle() const = 0;
  // Shows the dialog modally on the GUI thread and returns IDOK or IDCANCEL.
  virtual int execModal() = 0;
};

// Every message box and modal dialog of the tools goes through the process-wide prompter, so
// commands can be tested with scripted answers.
class Prompter {
 public:
  virtual ~Prompter() = default;
  // Returns IDOK, IDCANCEL, IDYES or IDNO.
  virtual int messageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  // Returns the chosen path, or nothing when the user cancelled.
  virtual std::optional<std::string> fileDialog(const FileDialogRequest& request) = 0;
  // Returns the chosen colour, or nothing when the user cancelled.
  virtual std::optional<Rgb> chooseColour(Rgb initial) = 0;
  virtual int runModal(ModalDialog& dialog) = 0;
};

// The process-wide prompter. Until one is installed a refusing prompter answers every box with
// its default (IDOK, or IDNO/IDCANCEL for questions) and cancels every dialog.
Prompter& prompter();
// Installs p (not owned; nullptr restores the default) and returns the one it replaces.
Prompter* setPrompter(Prompter* p);

// RAII installation of a prompter for one scope (tests, the host's start-up).
class PrompterScope {
 public:
  explicit PrompterScope(Prompter& p) : previous_(setPrompter(&p)) {}
  ~PrompterScope() { setPrompter(previous_); }
  PrompterScope(const PrompterScope&) = delete;
  PrompterScope& operator=(const PrompterScope&) = delete;

 private:
  Prompter* previous_;
};

// Splits a filter written as "Network files (*.mlp)|*.mlp|All files (*.*)|*.*||" into
// (description, pattern) pairs.
std::vector<std::pair<std::string, std::string>> parseFileFilter(const std::string& filter);

}  // namespace platform
