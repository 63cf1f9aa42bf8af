#include "platform/host_window.h"

#include <chrono>
#include <future>
#include <utility>

namespace platform {

QueuedMessageLoop::QueuedMessageLoop() : owner_(std::this_thread::get_id()) {}

bool QueuedMessageLoop::onLoopThread() const {
  return std::this_thread::get_id() == owner_;
}

void QueuedMessageLoop::post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
  }
  arrived_.notify_all();
}

void QueuedMessageLoop::sendBlocking(std::function<void()> task) {
  if (onLoopThread()) {
    task();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  post([&task, &done] {
    try {
      task();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  finished.get();
}

int QueuedMessageLoop::processPending() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(queue_);
  }
  for (auto& task : batch) task();
  return static_cast<int>(batch.size());
}

bool QueuedMessageLoop::waitForTask(int timeoutMs) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !queue_.empty(); });
}

HostWindow::HostWindow(WindowProc defaultProc, MessageLoop& loop, void* userData)
    : defaultProc_(defaultProc), loop_(loop), userData_(userData), core_(std::make_shared<Core>()) {
  core_->procedure.store(defaultProc);
  core_->window.store(this);
}

HostWindow::~HostWindow() {
  core_->window.store(nullptr);
  if (hostWindow() == this) setHostWindow(nullptr);
}

WindowProc HostWindow::setProcedure(WindowProc proc) {
  if (!proc) return nullptr;
  return core_->procedure.exchange(proc);
}

LRESULT HostWindow::send(UINT message, WPARAM wParam, LPARAM lParam) {
  if (loop_.onLoopThread()) return CallWindowProc(procedure(), *this, message, wParam, lParam);
  LRESULT result = 0;
  std::shared_ptr<Core> core = core_;
  loop_.sendBlocking([core, &result, message, wParam, lParam] {
    if (HostWindow* w = core->window.load())
      result = CallWindowProc(core->procedure.load(), *w, message, wParam, lParam);
  });
  return result;
}

void HostWindow::post(UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Core> core = core_;
  loop_.post([core, message, wParam, lParam] {
    if (HostWindow* w = core->window.load())
      CallWindowProc(core->procedure.load(), *w, message, wParam, lParam);
  });
}

LRESULT CallWindowProc(WindowProc proc, HostWindow& window, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(window, message, wParam, lParam) : 0;
}

namespace {
std::atomic<HostWindow*> installedHostWindow{nullptr};
}  // namespace

HostWindow* hostWindow() {
  return installedHostWindow.load();
}

HostWindow* setHostWindow(HostWindow* w) {
  return installedHostWindow.exchange(w);
}

}  // namespace platform
