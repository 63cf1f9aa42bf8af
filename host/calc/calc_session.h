#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/calc/calc_objects.h"
#include "host/calc/calc_office.h"
#include "platform/active_object.h"
#include "platform/dynamic_library.h"
#include "platform/host_window.h"

namespace host::calc {

// A running Calc as the tools' host, without any window of its own: the Application over the
// office (registered as the running spreadsheet application), the stand-in host window the
// tools subclass, the tool libraries loaded, and the office's termination vetoed while a tool
// window is open. A close, whether the user's or the office's own, goes through the host window
// so the tools' procedures see it as they see the host window's close. One per process; create
// and use it on the loop's thread.
class CalcSession {
 public:
  // How the session ended, for the window to tell the user.
  enum class End {
    None,          // still attached
    Quit,          // the user quit and every tool let the close through
    OfficeClosed,  // the office terminated by itself (the user closed it)
    OfficeLost,    // the connection broke: the office crashed or was killed
  };

  CalcSession(std::shared_ptr<CalcOffice> office, platform::MessageLoop& loop);
  ~CalcSession();
  CalcSession(const CalcSession&) = delete;
  CalcSession& operator=(const CalcSession&) = delete;

  CalcApplication& application() const { return *application_; }
  const std::shared_ptr<CalcOffice>& office() const { return office_; }
  platform::HostWindow& window() const { return *window_; }

  // Loads the tool's library (once per path), lets the add-in macros find its exports and calls
  // its entry export with the Application, as the host's Add-ins command does. A failure is
  // told through the prompter with the caption "Lumivane"; returns whether the entry ran.
  bool startTool(const std::string& title, const std::string& libraryPath, const std::string& entryExport);

  // Whether a tool window (or one of its dialogs) is open; the window layer keeps it up to date
  // on the loop's thread. The office's termination is vetoed while it is set.
  void setToolWindowsOpen(bool open) { veto_->toolWindowsOpen = open; }
  bool toolWindowsOpen() const { return veto_->toolWindowsOpen; }

  // The user asks to quit: the close goes through the tools' procedures. With a tool window
  // open it only asks the tools to close; otherwise the session ends (End::Quit) once the close
  // reaches the host window's own procedure (at once, or after a tool's posted retry).
  void requestQuit();
  // Looks at the office: asks it something cheap, so a vanished office is noticed; ends the
  // session (onEnd) when it has gone. Returns whether it is still there.
  bool checkOffice();

  // Called once, on the loop's thread, when the session ends.
  void setEndHandler(std::function<void(End, const std::string& message)> handler) {
    endHandler_ = std::move(handler);
  }
  End end() const { return end_; }
  // How many times a close of the office was refused because a tool window was open.
  int vetoedCloses() const { return office_->vetoed(); }

 private:
  static platform::LRESULT windowProcedure(platform::HostWindow& window, platform::UINT message,
                                           platform::WPARAM wParam, platform::LPARAM lParam);
  void finish(End end, const std::string& message);

  // What the office's thread reads when it asks whether it may terminate: shared, so a late
  // question after the session has gone finds nothing to post to.
  struct Veto {
    std::atomic<bool> toolWindowsOpen{false};
    platform::MessageLoop* loop = nullptr;
    std::weak_ptr<bool> session;
    CalcSession* owner = nullptr;
  };

  std::shared_ptr<CalcOffice> office_;
  platform::MessageLoop& loop_;
  platform::RefPtr<CalcApplication> application_;
  platform::ActiveObjectRegistration registration_;
  std::unique_ptr<platform::HostWindow> window_;
  platform::HostWindow* previousWindow_ = nullptr;
  std::vector<std::pair<std::string, std::unique_ptr<platform::DynamicLibrary>>> libraries_;
  std::shared_ptr<Veto> veto_ = std::make_shared<Veto>();
  // Set while the user's quit is on its way through the tools' procedures; a close the office
  // asked for only asks the tools to close.
  bool quitRequested_ = false;
  End end_ = End::None;
  std::function<void(End, const std::string&)> endHandler_;
  // Whether the session object is still there when a posted close arrives.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace host::calc
