#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <functional>

namespace lumivane::test {

// Runs `interact` on the modal view of type View once the presenter's exec has shown it. A view
// left open is closed so that the test cannot hang; the test's own checks then fail.
template <class View>
void whenShown(std::function<void(View&)> interact) {
  QTimer::singleShot(0, [interact] {
    auto* view = qobject_cast<View*>(QApplication::activeModalWidget());
    ASSERT_NE(view, nullptr);
    interact(*view);
    if (view->isVisible()) view->reject();
  });
}

}  // namespace lumivane::test
