#pragma once

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

#include "kohonen/engine/kohonen_net.h"
#include "kohonen/engine/map_views.h"
#include "kohonen/workbench/qt/maps/map_renderer.h"

class QAction;
class QActionGroup;
class QMenu;

// The client area of a map window: keeps the rendered picture of its current size and settings
// in an image and only copies that image when painted. A double click inside the grid reports
// its cell.
class MapCanvas final : public QWidget {
  Q_OBJECT

 public:
  MapCanvas(const MapScene& scene, const MapViewOptions& options, QWidget* parent = nullptr);

  // Renders the picture again (after a change of the settings).
  void refresh();
  // The image painting copies; re-rendered only when the size or a setting changes.
  const QImage& picture() const { return picture_; }
  // How often the picture was rendered (painting alone never renders).
  int renderCount() const { return renders_; }
  // The cell under client point (x, y), or nothing outside the grid.
  std::optional<CellPos> cellAt(int x, int y) const;

  std::function<void(CellPos)> onCellDoubleClicked;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void render();

  const MapScene& scene_;
  const MapViewOptions& options_;
  QImage picture_;
  int renders_ = 0;
};

// A map window: the picture of one "Create New Map..." with its own copy of the data, the menu
// of its settings and the clipboard and file commands.
class MapWindow final : public QMainWindow {
  Q_OBJECT

 public:
  // Menu texts, also how tests find the commands.
  static constexpr char kActionsMenu[] = "&Actions";
  static constexpr char kCopyMetafile[] = "Copy to &Metafile";
  static constexpr char kCopyBitmap[] = "Copy to &Bitmap";
  static constexpr char kSavePicture[] = "&Save picture as...";
  static constexpr char kMapMenu[] = "&Map";
  static constexpr char kShowMenu[] = "&Show";
  static constexpr char kUMatrix[] = "&U-matrix";
  static constexpr char kCellSize[] = "&Cell size";
  static constexpr char kExtraInfo[] = "Extra &Info";
  static constexpr char kCellNames[] = "Cell &Names";
  static constexpr char kNamesFontSize[] = "Names font size";
  static constexpr char kBackground[] = "&Background color...";
  static constexpr char kInternalError[] = "Internal Windows Error";

  // owner: the main sheet behind the window (its dialogs open over it); not the Qt parent, so
  // that a dialog modal to the sheet leaves the map windows usable.
  MapWindow(MapPicture picture, QWidget* owner);
  ~MapWindow() override;

  const MapScene& scene() const { return scene_; }
  const MapViewOptions& options() const { return options_; }
  MapCanvas* canvas() const { return canvas_; }
  QWidget* owner() const { return owner_; }
  // The menu command with the given text (nullptr when there is none).
  QAction* action(const QString& text) const;

  // The commands of the menu.
  void setUMatrix(bool on);
  void setCellSize(bool on);
  void setExtraInfo(bool on);
  void setShowNames(bool on);
  void setNamesFontSize(int size);
  void chooseBackground();
  void setBackground(const QColor& colour);
  void copyToMetafile();
  void copyToBitmap();
  void savePicture();
  // Writes the picture at the client size: SVG for a name ending in ".svg", PNG otherwise.
  // False when the file could not be written.
  bool writePicture(const QString& path) const;

  // A double click on a cell; the owner of the window decides what it shows.
  std::function<void(CellPos)> onCellDoubleClicked;
  // The window is closing (by the user or its set).
  std::function<void(MapWindow*)> onClosed;

  // The smallest client height for the current settings.
  int minimumClientHeight() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenu();
  void settingsChanged();
  void syncChecks();
  void ensureMinimumSize();

  MapScene scene_;
  MapViewOptions options_;
  QPointer<QWidget> owner_;
  MapCanvas* canvas_ = nullptr;
  QAction* uMatrixAction_ = nullptr;
  QAction* cellSizeAction_ = nullptr;
  QAction* extraInfoAction_ = nullptr;
  QAction* namesAction_ = nullptr;
  QActionGroup* fontSizes_ = nullptr;
};
