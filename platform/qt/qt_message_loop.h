#pragma once

#include "platform/host_window.h"

namespace platform {

// The message loop of the Qt application's GUI thread: posts become queued calls on the event
// loop, sends from other threads blocking queued calls. Needs a QCoreApplication to exist.
class QtMessageLoop final : public MessageLoop {
 public:
  bool onLoopThread() const override;
  void post(std::function<void()> task) override;
  void sendBlocking(std::function<void()> task) override;
};

}  // namespace platform
