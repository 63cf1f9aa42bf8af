// The map window: its menu and check marks, the sizes it keeps, the cached picture, the double
// click, the clipboard and the picture files.
#include "kohonen/workbench/qt/maps/map_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QMouseEvent>
#include <filesystem>
#include <fstream>

#include "map_test_helpers.h"
#include "tests/support/test_support.h"

namespace maps_test {
namespace {

using lumivane::test::PromptedTest;
using lumivane::test::TempDir;

class MapWindowTest : public PromptedTest {
 protected:
  std::unique_ptr<MapWindow> makeWindow(MapPicture picture) {
    auto w = std::make_unique<MapWindow>(std::move(picture), nullptr);
    w->setAttribute(Qt::WA_DeleteOnClose, false);  // the test owns it
    w->show();
    QApplication::processEvents();
    return w;
  }
  // Resizes the window so that its client area (the canvas) has the given size.
  static void setClientSize(MapWindow& w, QSize client) {
    const QSize frame = w.size() - w.canvas()->size();
    w.resize(client + frame);
    QApplication::processEvents();
  }
  static bool checked(MapWindow& w, const char* text) {
    QAction* a = w.action(QString::fromUtf8(text));
    EXPECT_NE(a, nullptr) << text;
    return a && a->isChecked();
  }
  static void trigger(MapWindow& w, const char* text) {
    QAction* a = w.action(QString::fromUtf8(text));
    ASSERT_NE(a, nullptr) << text;
    a->trigger();
    QApplication::processEvents();
  }
};

TEST_F(MapWindowTest, MenuOffersEveryCommandAndTheTwoDrawingModesExcludeEachOther) {
  auto w = makeWindow(makePicture(3, 4));
  EXPECT_EQ(w->windowTitle(), QStringLiteral("feature map"));
  for (const char* text :
       {MapWindow::kActionsMenu, MapWindow::kCopyMetafile, MapWindow::kCopyBitmap, MapWindow::kSavePicture,
        MapWindow::kMapMenu, MapWindow::kShowMenu, MapWindow::kUMatrix, MapWindow::kCellSize,
        MapWindow::kExtraInfo, MapWindow::kCellNames, MapWindow::kNamesFontSize, MapWindow::kBackground, "8",
        "10", "12", "14", "16", "18", "20"})
    EXPECT_NE(w->action(QString::fromUtf8(text)), nullptr) << text;

  // First shown: cell size checked, "14" chosen, everything else off.
  EXPECT_TRUE(checked(*w, MapWindow::kCellSize));
  EXPECT_FALSE(checked(*w, MapWindow::kUMatrix));
  EXPECT_FALSE(checked(*w, MapWindow::kExtraInfo));
  EXPECT_FALSE(checked(*w, MapWindow::kCellNames));
  EXPECT_TRUE(checked(*w, "14"));
  EXPECT_EQ(w->options().background, QColor(128, 128, 128));

  trigger(*w, MapWindow::kUMatrix);
  EXPECT_TRUE(checked(*w, MapWindow::kUMatrix));
  EXPECT_FALSE(checked(*w, MapWindow::kCellSize));
  EXPECT_FALSE(w->options().cellSize);
  trigger(*w, MapWindow::kCellSize);
  EXPECT_TRUE(checked(*w, MapWindow::kCellSize));
  EXPECT_FALSE(checked(*w, MapWindow::kUMatrix));
  EXPECT_FALSE(w->options().uMatrix);
  // Both may be off.
  trigger(*w, MapWindow::kCellSize);
  EXPECT_FALSE(w->options().cellSize);
  EXPECT_FALSE(w->options().uMatrix);

  trigger(*w, "20");
  EXPECT_EQ(w->options().namesFontSize, 20);
  EXPECT_TRUE(checked(*w, "20"));
  EXPECT_FALSE(checked(*w, "14"));
  trigger(*w, MapWindow::kCellNames);
  EXPECT_TRUE(w->options().showNames);
  trigger(*w, MapWindow::kCellNames);
  EXPECT_FALSE(w->options().showNames);
}

TEST_F(MapWindowTest, KeepsItsMinimumSizeAndTheLegendEnlargesASmallWindow) {
  MapPicture p = makePicture(4, 4, 5);
  auto w = makeWindow(p);
  EXPECT_GE(w->canvas()->width(), 220);
  EXPECT_GE(w->canvas()->height(), 220);
  setClientSize(*w, QSize(100, 100));
  EXPECT_EQ(w->canvas()->size(), QSize(220, 220));

  trigger(*w, MapWindow::kExtraInfo);
  EXPECT_TRUE(w->options().extraInfo);
  EXPECT_EQ(w->canvas()->height(), 230 + 18 * 5);
  EXPECT_EQ(w->canvas()->picture().height(), 230 + 18 * 5);
  setClientSize(*w, QSize(220, 220));
  EXPECT_EQ(w->canvas()->height(), 230 + 18 * 5);
  // A window that is large enough already keeps its size.
  trigger(*w, MapWindow::kExtraInfo);
  setClientSize(*w, QSize(400, 500));
  trigger(*w, MapWindow::kExtraInfo);
  EXPECT_EQ(w->canvas()->size(), QSize(400, 500));
  // Without the legend the window may shrink to 220 again.
  trigger(*w, MapWindow::kExtraInfo);
  setClientSize(*w, QSize(220, 220));
  EXPECT_EQ(w->canvas()->size(), QSize(220, 220));
}

TEST_F(MapWindowTest, PaintingCopiesTheCachedPictureAndSettingsRenderItAgain) {
  auto w = makeWindow(makePicture(3, 3));
  setClientSize(*w, QSize(320, 320));
  const int renders = w->canvas()->renderCount();
  const QImage shown = w->canvas()->grab().toImage();
  w->canvas()->repaint();
  w->canvas()->grab();
  EXPECT_EQ(w->canvas()->renderCount(), renders);
  EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32),
            w->canvas()->picture().convertToFormat(QImage::Format_RGB32));

  prompter.answerColour(platform::Rgb{0, 0, 255});
  trigger(*w, MapWindow::kBackground);
  EXPECT_EQ(w->canvas()->renderCount(), renders + 1);
  EXPECT_EQ(pixel(w->canvas()->picture(), 3, 3), QColor(0, 0, 255));
  // A cancelled colour dialog keeps the colour.
  prompter.answerColour(std::nullopt);
  trigger(*w, MapWindow::kBackground);
  EXPECT_EQ(w->options().background, QColor(0, 0, 255));
}

TEST_F(MapWindowTest, DoubleClickReportsTheCellUnderThePointer) {
  auto w = makeWindow(makePicture(2, 3));
  setClientSize(*w, QSize(320, 220));
  std::vector<CellPos> clicked;
  w->onCellDoubleClicked = [&](CellPos c) { clicked.push_back(c); };
  const auto doubleClick = [&](int x, int y) {
    QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(x, y), w->canvas()->mapToGlobal(QPointF(x, y)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->canvas(), &event);
  };
  // Cells are 100 × 100 from (10, 10): (250, 150) lies in row 1, column 2.
  doubleClick(250, 150);
  doubleClick(15, 15);
  doubleClick(5, 100);    // left margin
  doubleClick(200, 215);  // bottom margin
  ASSERT_EQ(clicked.size(), 2u);
  EXPECT_EQ(clicked[0], (CellPos{1, 2}));
  EXPECT_EQ(clicked[1], (CellPos{0, 0}));
}

TEST_F(MapWindowTest, CopiesPutTheVectorFormOrTheBitmapAndAPngOnTheClipboard) {
  auto w = makeWindow(makePicture(3, 3));
  setClientSize(*w, QSize(250, 230));
  QClipboard* clipboard = QGuiApplication::clipboard();
  ASSERT_NE(clipboard, nullptr);

  trigger(*w, MapWindow::kCopyBitmap);
  const QMimeData* data = clipboard->mimeData();
  ASSERT_NE(data, nullptr);
  ASSERT_TRUE(data->hasFormat(QStringLiteral("image/bmp")));
  ASSERT_TRUE(data->hasFormat(QStringLiteral("image/png")));
  const QImage picture = w->canvas()->picture().convertToFormat(QImage::Format_RGB32);
  const QByteArray bmp = data->data(QStringLiteral("image/bmp"));
  // The file header, then the 40-byte information header of the 250 × 230 picture.
  ASSERT_GE(bmp.size(), 54);
  EXPECT_EQ(bmp.left(2), QByteArray("BM"));
  EXPECT_EQ(static_cast<unsigned char>(bmp[14]), 40);
  EXPECT_EQ(bmp.size(), 14 + 40 + ((250 * 24 + 31) / 32) * 4 * 230);
  EXPECT_EQ(QImage::fromData(bmp, "BMP").convertToFormat(QImage::Format_RGB32), picture);
  EXPECT_EQ(
      QImage::fromData(data->data(QStringLiteral("image/png")), "PNG").convertToFormat(QImage::Format_RGB32),
      picture);

  trigger(*w, MapWindow::kCopyMetafile);
  data = clipboard->mimeData();
  ASSERT_NE(data, nullptr);
  ASSERT_TRUE(data->hasFormat(QStringLiteral("image/svg+xml")));
  EXPECT_TRUE(data->data(QStringLiteral("image/svg+xml")).contains("<svg"));
  EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(MapWindowTest, SavesThePictureAsPngOrSvgAndReportsAFailedWrite) {
  auto w = makeWindow(makePicture(2, 2));
  setClientSize(*w, QSize(240, 230));
  TempDir dir;
  prompter.answerFile(dir.file("map.png"));
  trigger(*w, MapWindow::kSavePicture);
  ASSERT_TRUE(prompter.lastFileRequest().has_value());
  EXPECT_TRUE(prompter.lastFileRequest()->save);
  EXPECT_TRUE(prompter.lastFileRequest()->overwritePrompt);
  EXPECT_EQ(prompter.lastFileRequest()->fileName, "feature map.png");
  const QImage saved(QString::fromStdString(dir.file("map.png")));
  EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32),
            w->canvas()->picture().convertToFormat(QImage::Format_RGB32));

  prompter.answerFile(dir.file("map.svg"));
  trigger(*w, MapWindow::kSavePicture);
  std::ifstream svg(dir.file("map.svg"));
  const std::string text((std::istreambuf_iterator<char>(svg)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("<svg"), std::string::npos);

  // Cancel writes nothing and says nothing.
  prompter.answerFile(std::nullopt);
  trigger(*w, MapWindow::kSavePicture);
  EXPECT_TRUE(prompter.messages().empty());

  const std::string missing = dir.file("no such folder/map.png");
  prompter.answerFile(missing);
  prompter.answerMessage(platform::IDOK);
  trigger(*w, MapWindow::kSavePicture);
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_EQ(prompter.messages()[0].text, "The picture could not be written to " + missing + ".");
  EXPECT_EQ(prompter.messages()[0].caption, "Gridwise");
  EXPECT_EQ(prompter.messages()[0].icon(), platform::MB_ICONERROR);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace maps_test
