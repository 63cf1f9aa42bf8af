#include "platform/qt/qt_message_loop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace platform {

bool QtMessageLoop::onLoopThread() const {
  const QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void QtMessageLoop::post(std::function<void()> task) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void QtMessageLoop::sendBlocking(std::function<void()> task) {
  if (onLoopThread()) {
    task();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::BlockingQueuedConnection);
}

}  // namespace platform
