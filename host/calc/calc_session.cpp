#include "host/calc/calc_session.h"

#include <filesystem>

#include "platform/prompter.h"

namespace host::calc {

namespace {

constexpr const char* kCaption = "Lumivane";

void tell(const std::string& text) {
  platform::prompter().messageBox(text, kCaption, platform::MB_OK | platform::MB_ICONERROR);
}

}  // namespace

CalcSession::CalcSession(std::shared_ptr<CalcOffice> office, platform::MessageLoop& loop)
    : office_(std::move(office)), loop_(loop) {
  application_ = platform::makeRef<CalcApplication>(office_);
  registration_ = platform::registerActiveObject(platform::kSpreadsheetProgId, application_.get());
  window_ = std::make_unique<platform::HostWindow>(&CalcSession::windowProcedure, loop_, this);
  previousWindow_ = platform::setHostWindow(window_.get());

  veto_->loop = &loop_;
  veto_->session = alive_;
  veto_->owner = this;
  // Asked on the office's own thread: no waiting there, the tools are asked on the loop.
  office_->setTerminationVeto([veto = veto_] {
    if (!veto->toolWindowsOpen) return false;
    veto->loop->post([veto] {
      if (veto->session.expired()) return;
      // As the host window's close does: each tool closes its windows, asking about unsaved
      // work; the office stays, and the user closes it again once the tools have gone.
      veto->owner->window().send(platform::WM_CLOSE);
    });
    return true;
  });
}

CalcSession::~CalcSession() {
  office_->setTerminationVeto(nullptr);
  alive_.reset();
  if (platform::hostWindow() == window_.get()) platform::setHostWindow(previousWindow_);
  window_.reset();
  registration_.revoke();
  // A tool may still hold the Application: its macros must not reach unloaded libraries.
  application_->clearLibraries();
  libraries_.clear();
}

bool CalcSession::startTool(const std::string& title, const std::string& libraryPath,
                            const std::string& entryExport) {
  if (!office_->ping()) {
    tell("Cannot start " + title + ": LibreOffice Calc is no longer running.");
    return false;
  }
  std::error_code error;
  if (!std::filesystem::exists(libraryPath, error)) {
    tell("Cannot start " + title + ": the tool library " + libraryPath +
         " does not exist.\nBuild or install the tool, or set LUMIVANE_LIBRARY_DIR to the folder that holds "
         "it.");
    return false;
  }
  platform::DynamicLibrary* library = nullptr;
  for (const auto& [path, loaded] : libraries_)
    if (path == libraryPath) library = loaded.get();
  if (!library) {
    auto loading = std::make_unique<platform::DynamicLibrary>();
    if (!loading->load(libraryPath)) {
      tell("Cannot start " + title + ". Cannot load " + libraryPath + ": " + loading->lastError());
      return false;
    }
    library = loading.get();
    application_->addLibrary([library](const char* name) { return library->symbol(name); });
    libraries_.emplace_back(libraryPath, std::move(loading));
  }
  using Entry = void (*)(platform::Dispatch*);
  const auto entry = reinterpret_cast<Entry>(library->symbol(entryExport.c_str()));
  if (!entry) {
    tell("Cannot start " + title + ": " + libraryPath + " does not export " + entryExport + ".");
    return false;
  }
  entry(application_.get());
  return true;
}

void CalcSession::requestQuit() {
  if (end_ != End::None) return;
  // With a tool window open the close only asks the tools to close (they may ask about unsaved
  // work); the user quits again once they have gone. Without one it ends the session once it
  // has passed every tool's procedure (at once, or after a tool's posted retry).
  quitRequested_ = !toolWindowsOpen();
  window_->send(platform::WM_CLOSE);
}

bool CalcSession::checkOffice() {
  if (end_ != End::None) return office_->alive();
  if (office_->ping()) return true;
  if (office_->terminated())
    finish(End::OfficeClosed, "LibreOffice Calc has been closed; Lumivane ends with it.");
  else
    finish(End::OfficeLost,
           "The connection to LibreOffice Calc was lost: the office has ended unexpectedly. Lumivane "
           "ends; what the tools had not written into Calc is not there. Start Calc and Lumivane again "
           "with lumivane --calc.");
  return false;
}

void CalcSession::finish(End end, const std::string& message) {
  if (end_ != End::None) return;
  end_ = end;
  if (endHandler_) endHandler_(end, message);
}

platform::LRESULT CalcSession::windowProcedure(platform::HostWindow& window, platform::UINT message,
                                               platform::WPARAM, platform::LPARAM) {
  auto* session = static_cast<CalcSession*>(window.userData());
  // Every tool let the close through: a quit the user asked for ends the session; a close the
  // office asked for has done its part (the tools are closed) and the office decides again.
  if (message == platform::WM_CLOSE && session && session->quitRequested_) {
    session->quitRequested_ = false;
    session->finish(End::Quit, {});
  }
  return 0;
}

}  // namespace host::calc
