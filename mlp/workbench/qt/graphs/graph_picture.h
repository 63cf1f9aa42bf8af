#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

class QPainter;

// A picture widget over one renderer: the whole picture is drawn into a cached image when the
// data or the size change (redraw), paintEvent only copies the image, and the context menu's
// "Save picture as…" writes the same renderer's drawing as a PNG or an SVG file.
class CGraphPicture : public QWidget {
  Q_OBJECT
 public:
  static constexpr const char* kSaveActionText = "Save picture as…";
  static constexpr const char* kSaveFilter = "PNG picture (*.png)|*.png|SVG picture (*.svg)|*.svg||";
  static constexpr const char* kSaveFailedText = "Can't write file ";

  explicit CGraphPicture(QWidget* parent = nullptr);

  // Draws the whole picture afresh into the cache and schedules a repaint.
  void redraw();
  // The cached picture as last drawn.
  const QImage& picture() const { return cache_; }
  // The picture at size drawn afresh into a new image (the PNG export's drawing).
  QImage renderImage(const QSize& size);
  // Writes the picture at the widget's size: SVG when the name ends in ".svg" (any case), PNG
  // otherwise. The target is replaced only once the new file is complete. False on failure.
  bool savePicture(const QString& path);
  // The context menu's command: asks for a file name, saves, reports a failure in a box.
  void saveAs();

 protected:
  // Draws the whole picture of the given size. Called for the cache and for every export.
  virtual void render(QPainter& painter, const QSize& size) = 0;
  // The cache, for pictures that add to it between full redraws (call update() afterwards).
  QImage& cache() { return cache_; }
  // Called after the cache was drawn in full (not after exports).
  virtual void cacheDrawn() {}
  // The proposed name in the save dialog.
  virtual QString pictureName() const { return QStringLiteral("picture.png"); }

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void drawCache();
  QImage cache_;
};
