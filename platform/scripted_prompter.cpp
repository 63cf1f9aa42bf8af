#include "platform/scripted_prompter.h"

namespace platform {
namespace {

const char* kindName(ScriptedPrompter::Kind kind) {
  switch (kind) {
    case ScriptedPrompter::Kind::Message:
      return "message box";
    case ScriptedPrompter::Kind::File:
      return "file dialog";
    case ScriptedPrompter::Kind::Colour:
      return "colour dialog";
    case ScriptedPrompter::Kind::Modal:
      return "modal dialog";
  }
  return "?";
}

int refusingAnswer(unsigned flags) {
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

}  // namespace

void ScriptedPrompter::answerMessage(int result) {
  std::lock_guard lock(mutex_);
  script_.push_back({Kind::Message, result, {}, {}, {}});
}

void ScriptedPrompter::answerFile(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  script_.push_back({Kind::File, path ? IDOK : IDCANCEL, std::move(path), {}, {}});
}

void ScriptedPrompter::answerColour(std::optional<Rgb> colour) {
  std::lock_guard lock(mutex_);
  script_.push_back({Kind::Colour, colour ? IDOK : IDCANCEL, {}, colour, {}});
}

void ScriptedPrompter::answerModal(std::function<int(ModalDialog&)> script) {
  std::lock_guard lock(mutex_);
  script_.push_back({Kind::Modal, IDOK, {}, {}, std::move(script)});
}

std::optional<ScriptedPrompter::Answer> ScriptedPrompter::take(Kind kind, const std::string& what) {
  if (!script_.empty() && script_.front().kind == kind) {
    Answer a = std::move(script_.front());
    script_.pop_front();
    return a;
  }
  std::string note = std::string("unexpected ") + kindName(kind) + ": " + what;
  if (!script_.empty()) note += std::string(" (script expected a ") + kindName(script_.front().kind) + ")";
  unexpected_.push_back(note);
  return std::nullopt;
}

int ScriptedPrompter::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
  std::lock_guard lock(mutex_);
  auto answer = take(Kind::Message, "\"" + text + "\" [" + caption + "]");
  int result = answer ? answer->result : refusingAnswer(flags);
  calls_.push_back({Kind::Message, text, caption, flags, result});
  return result;
}

std::optional<std::string> ScriptedPrompter::fileDialog(const FileDialogRequest& request) {
  std::lock_guard lock(mutex_);
  lastFileRequest_ = request;
  auto answer = take(Kind::File, request.fileName);
  std::optional<std::string> path = answer ? answer->path : std::nullopt;
  calls_.push_back(
      {Kind::File, request.fileName, request.filter, request.save ? 1u : 0u, path ? IDOK : IDCANCEL});
  return path;
}

std::optional<Rgb> ScriptedPrompter::chooseColour(Rgb) {
  std::lock_guard lock(mutex_);
  auto answer = take(Kind::Colour, "");
  std::optional<Rgb> colour = answer ? answer->colour : std::nullopt;
  calls_.push_back({Kind::Colour, "", "", 0, colour ? IDOK : IDCANCEL});
  return colour;
}

int ScriptedPrompter::runModal(ModalDialog& dialog) {
  std::unique_lock lock(mutex_);
  std::string title = dialog.dialogTitle();
  auto answer = take(Kind::Modal, title);
  lock.unlock();  // the script may itself raise boxes through this prompter
  int result = (answer && answer->modal) ? answer->modal(dialog) : IDCANCEL;
  lock.lock();
  calls_.push_back({Kind::Modal, title, "", 0, result});
  return result;
}

std::vector<ScriptedPrompter::Call> ScriptedPrompter::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<ScriptedPrompter::Call> ScriptedPrompter::messages() const {
  std::lock_guard lock(mutex_);
  std::vector<Call> out;
  for (const auto& c : calls_)
    if (c.kind == Kind::Message) out.push_back(c);
  return out;
}

std::vector<std::string> ScriptedPrompter::unexpected() const {
  std::lock_guard lock(mutex_);
  return unexpected_;
}

std::size_t ScriptedPrompter::pendingAnswers() const {
  std::lock_guard lock(mutex_);
  return script_.size();
}

void ScriptedPrompter::discardAnswers() {
  std::lock_guard lock(mutex_);
  script_.clear();
}

std::optional<FileDialogRequest> ScriptedPrompter::lastFileRequest() const {
  std::lock_guard lock(mutex_);
  return lastFileRequest_;
}

}  // namespace platform
