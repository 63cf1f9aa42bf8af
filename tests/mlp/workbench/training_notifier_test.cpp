// The adapter between the training worker and the GUI thread, under a worker that finishes
// epochs far faster than anyone could repaint.

#include "mlp/workbench/qt/training_notifier.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include "tests/mlp/workbench/session_test_support.h"

namespace lumivane::test {
namespace {

// Counts what reached the observers, on which thread.
class ThreadCheckingObserver final : public VantorSessionObserver {
 public:
  void sessionChanged(unsigned changes) override {
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) ++offThread;
    if (changes & kTrainingStateChanged) ++stateChanges;
    if (changes & kHistoriesChanged) ++historyChanges;
  }
  int offThread = 0;
  int stateChanges = 0;
  int historyChanges = 0;
};

class TrainingNotifierTest : public SessionFixture {
 protected:
  void SetUp() override {
    table = smoothTable();
    open(table);
    session->algorithms().algorithms.push_back(&scripted);
    session->algorithms().selectedAlgorithm = 0;
    selectInputs({"x1", "x2"});
    selectOutputs({"y"});
    createNetwork();
    session->addObserver(&counts);
  }
  // Processes events until the run's end has been delivered (or a generous time-out).
  bool runUntilEnd(TrainingNotifier& notifier) {
    QElapsedTimer clock;
    clock.start();
    while (notifier.endDeliveries() == 0 && clock.elapsed() < 60000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return notifier.endDeliveries() == 1;
  }
  static void pump(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }

  ThreadCheckingObserver counts;
};

TEST_F(TrainingNotifierTest, AFastRunIsShownAtAboutThirtyFramesASecond) {
  TrainingNotifier notifier(*session);
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(session->StartTraining());
  QTimer::singleShot(400, [&] { session->StopTraining(); });
  ASSERT_TRUE(runUntilEnd(notifier));
  const qint64 elapsed = clock.elapsed();
  const int epochs = session->run().Snapshot().epochCounter;

  // Thousands of epochs, a dozen or so repaints: one per 33 ms at most, plus the first.
  EXPECT_GT(epochs, 100) << "the worker was not fast enough to test coalescing";
  EXPECT_GE(notifier.epochDeliveries(), 1);
  EXPECT_LE(notifier.epochDeliveries(), elapsed / 33 + 2) << epochs << " epochs in " << elapsed << " ms";
  EXPECT_FALSE(session->isTraining());
  EXPECT_EQ(counts.offThread, 0);
  EXPECT_EQ(counts.stateChanges, 2);  // started, ended

  // Nothing arrives after the end.
  const int delivered = notifier.epochDeliveries();
  pump(100);
  EXPECT_EQ(notifier.epochDeliveries(), delivered);
  EXPECT_EQ(notifier.endDeliveries(), 1);
}

TEST_F(TrainingNotifierTest, TheEndOfAnImmediatelyStoppedRunArrives) {
  TrainingNotifier notifier(*session);
  for (int run = 1; run <= 3; ++run) {
    scripted.hold();
    ASSERT_TRUE(session->StartTraining());
    ASSERT_TRUE(scripted.waitUntilEntered(run));
    session->StopTraining();
    scripted.release();
    QElapsedTimer clock;
    clock.start();
    while (notifier.endDeliveries() < run && clock.elapsed() < 60000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_EQ(notifier.endDeliveries(), run);
    EXPECT_FALSE(session->isTraining());
  }
  EXPECT_EQ(session->EpochText(), "3");
}

TEST_F(TrainingNotifierTest, WithoutTheNotifierTheSessionHearsNothingFromTheWorker) {
  { TrainingNotifier notifier(*session); }  // removed again: the worker's calls go nowhere
  setCriteria({1, 9, 0.0f, 0.0f});
  ASSERT_TRUE(session->StartTraining());
  ASSERT_TRUE(eventually([&] { return !session->isTraining(); }));
  pump(50);
  EXPECT_EQ(counts.historyChanges, 0);
  ASSERT_TRUE(session->WaitForTrainingEnd());
  EXPECT_EQ(counts.stateChanges, 2);
  EXPECT_EQ(session->EpochText(), "10");
}

}  // namespace
}  // namespace lumivane::test
