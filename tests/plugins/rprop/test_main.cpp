#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// The dialog and prompter tests need a QApplication; without a display they run off screen
// (ctest sets the same, but test discovery runs the program without it).
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
