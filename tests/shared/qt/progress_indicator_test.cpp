#include "shared/qt/progress_indicator.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>

#include "shared/qt/qt_tool_ui.h"

namespace {

TEST(ProgressPercentage, FormatsAndWrapsPastTheEnd) {
  EXPECT_EQ(ProgressIndicator::formatPercentage(100, 0, 100), "100%");
  EXPECT_EQ(ProgressIndicator::formatPercentage(50, 0, 100), "50%");
  EXPECT_EQ(ProgressIndicator::formatPercentage(150, 0, 100), "50%");
  EXPECT_EQ(ProgressIndicator::formatPercentage(200, 0, 100), "0%");
  EXPECT_EQ(ProgressIndicator::formatPercentage(0, 0, 100), "0%");
  EXPECT_EQ(ProgressIndicator::formatPercentage(7, 0, 10), "70%");  // integer division
  EXPECT_EQ(ProgressIndicator::formatPercentage(5, 5, 5), "100%");
}

TEST(ProgressIndicator, VariantsHaveTheirCaptionsAndControls) {
  ProgressIndicator vantor(ProgressIndicator::Variant::Vantor);
  EXPECT_EQ(vantor.windowTitle(), "Progress indicator");
  EXPECT_TRUE(vantor.percentageText().isNull());
  EXPECT_EQ(vantor.cancelButton(), nullptr);

  ProgressIndicator plain(ProgressIndicator::Variant::GridwisePlain);
  EXPECT_EQ(plain.percentageText(), " 0 %");

  ProgressIndicator training(ProgressIndicator::Variant::GridwiseCancellable);
  EXPECT_EQ(training.windowTitle(), "Training process...");
  EXPECT_NE(training.cancelButton(), nullptr);

  ProgressIndicator output(ProgressIndicator::Variant::GridwiseOutput);
  EXPECT_EQ(output.windowTitle(), " ");
  ProgressIndicator renamed(ProgressIndicator::Variant::GridwisePlain, "Principal component analysis");
  EXPECT_EQ(renamed.windowTitle(), "Principal component analysis");
}

TEST(ProgressIndicator, DisablesItsOwnerWhileShownAndRestoresIt) {
  QWidget owner;
  owner.show();
  {
    ProgressIndicator p(ProgressIndicator::Variant::GridwisePlain);
    ASSERT_TRUE(p.create(&owner));
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_TRUE(p.ownerDisabled());
    p.setText("Reading data...");
    p.setPosition(50);
    EXPECT_EQ(p.messageText(), "Reading data...");
    EXPECT_EQ(p.percentageText(), "50%");
    EXPECT_EQ(p.position(), 50);
    p.setPosition(100);
    EXPECT_EQ(p.percentageText(), "100%");
    p.destroyIndicator();
    EXPECT_TRUE(owner.isEnabled());
  }
  EXPECT_TRUE(owner.isEnabled());
}

TEST(ProgressIndicator, AnOwnerThatWasDisabledStaysDisabled) {
  QWidget owner;
  owner.setEnabled(false);
  ProgressIndicator p(ProgressIndicator::Variant::Vantor);
  ASSERT_TRUE(p.create(&owner));
  EXPECT_FALSE(p.ownerDisabled());
  p.destroyIndicator();
  EXPECT_FALSE(owner.isEnabled());
}

TEST(ProgressIndicator, CancelIsSeenOnceAndDoesNotClose) {
  ProgressIndicator p(ProgressIndicator::Variant::GridwiseCancellable);
  ASSERT_TRUE(p.create(nullptr));
  EXPECT_FALSE(p.cancelRequested());
  p.cancelButton()->click();
  EXPECT_TRUE(p.isVisible());
  EXPECT_TRUE(p.cancelRequested());
  EXPECT_FALSE(p.cancelRequested());
  // Works through the engines' interface too.
  ProgressSink& sink = p;
  p.cancelButton()->click();
  EXPECT_TRUE(sink.cancelRequested());
}

// finish(pause) on a sink with a window: the bar is full before the pause starts, and a timer
// and a queued call both run during the pause, which lasts at least as long as asked.
void expectFinishPumps(ProgressSink& sink, const std::function<int()>& position) {
  using namespace std::chrono_literals;
  int timerFired = 0, positionSeen = -1;
  bool queuedRan = false;
  QTimer::singleShot(20ms, [&] {
    ++timerFired;
    positionSeen = position();
  });
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&] { queuedRan = true; }, Qt::QueuedConnection);
  QElapsedTimer clock;
  clock.start();
  sink.finish(150ms);
  // A little slack below the pause for the coarse timer granularity of loaded machines.
  EXPECT_GE(clock.elapsed(), 140);
  EXPECT_EQ(timerFired, 1);
  EXPECT_TRUE(queuedRan);
  EXPECT_EQ(positionSeen, 100);
  EXPECT_EQ(position(), 100);
}

TEST(ProgressIndicator, FinishFillsTheBarAndKeepsEventsFlowingDuringThePause) {
  ProgressIndicator p(ProgressIndicator::Variant::GridwisePlain);
  ASSERT_TRUE(p.create(nullptr));
  p.setPosition(40);
  expectFinishPumps(p, [&] { return p.position(); });
  EXPECT_EQ(p.percentageText(), "100%");
  EXPECT_TRUE(p.isVisible());  // closing is the caller's step
}

TEST(ProgressIndicator, TheToolsProgressWindowPausesTheSameWay) {
  QtProgressWindow window(ProgressVariant::Vantor);
  window.setPosition(10);
  expectFinishPumps(window, [&] { return window.indicator().position(); });
  window.close();
  EXPECT_FALSE(window.indicator().isVisible());
}

}  // namespace
