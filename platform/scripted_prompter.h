#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/prompter.h"

namespace platform {

// Test double for the prompter: records every box and dialog and answers from a script queued
// in advance. A call that finds no matching scripted answer is recorded as unexpected and gets
// the refusing answer (OK, No, Cancel); tests check unexpected() afterwards.
// Thread-safe: the training thread's end notification may raise boxes too.
class ScriptedPrompter final : public Prompter {
 public:
  enum class Kind { Message, File, Colour, Modal };

  struct Call {
    Kind kind = Kind::Message;
    std::string text;     // message text, dialog title, or the file request's proposed name
    std::string caption;  // message caption, or the file request's filter
    unsigned flags = 0;   // message flags; for a file request 1 = save
    int result = 0;       // the answer given (IDOK/IDCANCEL/... ; file/colour: IDOK or IDCANCEL)

    unsigned icon() const { return flags & kIconMask; }
    unsigned buttons() const { return flags & kButtonMask; }
  };

  // Script entries, consumed in order.
  void answerMessage(int result);
  void answerFile(std::optional<std::string> path);
  void answerColour(std::optional<Rgb> colour);
  // The script may fill the dialog's fields before returning IDOK or IDCANCEL.
  void answerModal(std::function<int(ModalDialog&)> script);

  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
  std::optional<Rgb> chooseColour(Rgb initial) override;
  int runModal(ModalDialog& dialog) override;

  std::vector<Call> calls() const;
  std::vector<Call> messages() const;  // only the message boxes
  std::vector<std::string> unexpected() const;
  std::size_t pendingAnswers() const;
  // Drops the answers not used yet, for a test whose script depends on a race it cannot decide.
  void discardAnswers();
  std::optional<FileDialogRequest> lastFileRequest() const;

 private:
  struct Answer {
    Kind kind;
    int result = IDOK;
    std::optional<std::string> path;
    std::optional<Rgb> colour;
    std::function<int(ModalDialog&)> modal;
  };
  std::optional<Answer> take(Kind kind, const std::string& what);

  mutable std::mutex mutex_;
  std::deque<Answer> script_;
  std::vector<Call> calls_;
  std::vector<std::string> unexpected_;
  std::optional<FileDialogRequest> lastFileRequest_;
};

}  // namespace platform
