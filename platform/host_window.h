#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

// Window-message types and numbers as on the original platform.
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr UINT WM_CLOSE = 0x0010;
// First private message number; the tools' requests are WM_USER + n.
inline constexpr UINT WM_USER = 0x0400;

class HostWindow;

// A window procedure. A replacement saves the procedure it replaced and passes the messages it
// does not handle on with CallWindowProc.
using WindowProc = LRESULT (*)(HostWindow& window, UINT message, WPARAM wParam, LPARAM lParam);

// The thread and queue that a window's messages run on.
class MessageLoop {
 public:
  virtual ~MessageLoop() = default;
  // True on the thread the loop runs on.
  virtual bool onLoopThread() const = 0;
  // Runs task later on the loop thread, in the order posted.
  virtual void post(std::function<void()> task) = 0;
  // Runs task on the loop thread and returns after it has run; on the loop thread it runs at
  // once. From another thread it blocks until the loop picks it up.
  virtual void sendBlocking(std::function<void()> task) = 0;
};

// A loop for headless use and tests: tasks wait until the owning thread (the one that created
// the loop) calls processPending(). Thread-safe.
class QueuedMessageLoop final : public MessageLoop {
 public:
  QueuedMessageLoop();
  bool onLoopThread() const override;
  void post(std::function<void()> task) override;
  void sendBlocking(std::function<void()> task) override;
  // Runs every task queued so far (tasks they post wait for the next call); returns how many
  // ran. Call on the owning thread.
  int processPending();
  // Waits up to timeoutMs for a task to arrive; true when one is queued.
  bool waitForTask(int timeoutMs);

 private:
  std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> queue_;
};

// The host's main window as the tools see it: a procedure slot that can be read and replaced
// (subclassing), synchronous send and queued post. Messages run on the window's message loop.
// Create and destroy it on the loop thread; the procedure slot may be read and replaced from
// any thread.
class HostWindow {
 public:
  // defaultProc is the window's own procedure; loop must outlive the window.
  HostWindow(WindowProc defaultProc, MessageLoop& loop, void* userData = nullptr);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  // The current procedure (GetWindowLong with the procedure slot).
  WindowProc procedure() const { return core_->procedure.load(); }
  // Installs proc and returns the one it replaces (SetWindowLong); a null proc is refused and
  // returns null, leaving the slot as it was.
  WindowProc setProcedure(WindowProc proc);
  // Delivers the message to the current procedure and returns its result (SendMessage): a
  // direct call on the loop thread, a blocking queued call from any other thread.
  LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // Queues the message for the current procedure (PostMessage); a message still queued when
  // the window goes is dropped.
  void post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  WindowProc defaultProcedure() const { return defaultProc_; }
  void* userData() const { return userData_; }
  MessageLoop& loop() const { return loop_; }

 private:
  struct Core {
    std::atomic<WindowProc> procedure;
    std::atomic<HostWindow*> window;
  };

  WindowProc defaultProc_;
  MessageLoop& loop_;
  void* userData_;
  std::shared_ptr<Core> core_;
};

// Calls a saved procedure with a message (CallWindowProc); a null procedure returns 0.
LRESULT CallWindowProc(WindowProc proc, HostWindow& window, UINT message, WPARAM wParam, LPARAM lParam);

// The process-wide host window the tools subclass; null until the host installs one.
HostWindow* hostWindow();
// Installs w (not owned; null withdraws it) and returns the one it replaces.
HostWindow* setHostWindow(HostWindow* w);

}  // namespace platform
