#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/add_in.h"
#include "host/host_model.h"
#include "platform/active_object.h"
#include "platform/dispatch.h"
#include "platform/dynamic_library.h"
#include "platform/host_window.h"

namespace host {

// The running spreadsheet host: its model, its Application object (registered as the running
// "Excel.Application" for as long as the host lives), its add-in workbook with the reader
// macros, the tool libraries it has loaded, and its main window as the tools see it (installed
// as platform::hostWindow()). One host per process at a time. Create and use it on the GUI
// thread.
class Host {
 public:
  // version: 7, 8 or 9 (see HostModel). loop: where the host window's messages run; without
  // one the host keeps a QueuedMessageLoop that processMessages() pumps (headless use, tests).
  explicit Host(int version = 9, platform::MessageLoop* loop = nullptr);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  HostModel& model() const { return *model_; }
  AddIn& addIn() const { return *addIn_; }
  // The Application object (no new reference).
  platform::Dispatch* application() const { return application_.get(); }
  platform::HostWindow& window() { return *window_; }

  // Loads a tool library so the add-in's macros find its exports, and returns it (a library
  // loaded before from the same path is returned again, not loaded twice); throws
  // std::runtime_error with the loader's reason when it cannot be loaded.
  platform::DynamicLibrary& loadToolLibrary(const std::string& path);

  // Runs the messages posted to the host window (only with the host's own loop); returns how
  // many ran.
  int processMessages();

  // Called when WM_CLOSE reaches the host window's own procedure (after any tool that
  // subclassed the window let it through).
  void setCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }
  bool closeRequested() const { return closeRequested_; }

 private:
  static platform::LRESULT windowProcedure(platform::HostWindow& window, platform::UINT message,
                                           platform::WPARAM wParam, platform::LPARAM lParam);

  std::shared_ptr<HostModel> model_;
  std::shared_ptr<AddIn> addIn_;
  platform::RefPtr<platform::Dispatch> application_;
  platform::ActiveObjectRegistration registration_;
  std::unique_ptr<platform::QueuedMessageLoop> ownLoop_;
  std::unique_ptr<platform::HostWindow> window_;
  platform::HostWindow* previousWindow_ = nullptr;
  std::vector<std::pair<std::string, std::unique_ptr<platform::DynamicLibrary>>> libraries_;
  std::function<void()> closeHandler_;
  bool closeRequested_ = false;
};

}  // namespace host
