#include "mlp/workbench/qt/graphs/graph_picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QSvgGenerator>

#include "mlp/engine/training_run.h"
#include "platform/prompter.h"
#include "shared/binary_io.h"

CGraphPicture::CGraphPicture(QWidget* parent) : QWidget(parent) {
  // The cached image covers every pixel: nothing of the background needs to be drawn first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CGraphPicture::redraw() {
  drawCache();
  update();
}

void CGraphPicture::drawCache() {
  const QSize size = this->size();
  if (cache_.size() != size) cache_ = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  cache_.fill(Qt::white);
  {
    QPainter painter(&cache_);
    render(painter, size);
  }
  cacheDrawn();
}

QImage CGraphPicture::renderImage(const QSize& size) {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  render(painter, size);
  return image;
}

bool CGraphPicture::savePicture(const QString& path) {
  const QSize size = this->size().expandedTo(QSize(1, 1));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setTitle(window()->windowTitle());
    QPainter painter;
    if (!painter.begin(&generator)) return false;
    render(painter, size);
    painter.end();
  } else {
    const QImage image = renderImage(size);
    if (!image.save(&buffer, "PNG")) return false;
  }
  buffer.close();
  return writeFileAtomically(path.toStdString(), [&](std::ostream& out) {
    out.write(bytes.constData(), static_cast<std::streamsize>(bytes.size()));
  });
}

void CGraphPicture::saveAs() {
  platform::FileDialogRequest request;
  request.save = true;
  request.defaultExt = "png";
  request.fileName = pictureName().toStdString();
  request.filter = kSaveFilter;
  request.overwritePrompt = true;
  request.title = "Save picture as";
  const std::optional<std::string> path = platform::prompter().fileDialog(request);
  if (!path) return;
  if (!savePicture(QString::fromStdString(*path)))
    platform::prompter().messageBox(kSaveFailedText + *path, TrainingRun::kMessageCaption,
                                    platform::MB_OK | platform::MB_ICONERROR);
}

void CGraphPicture::paintEvent(QPaintEvent* event) {
  if (cache_.size() != size().expandedTo(QSize(1, 1))) drawCache();
  QPainter painter(this);
  painter.drawImage(event->rect(), cache_, event->rect());
}

void CGraphPicture::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  redraw();
}

void CGraphPicture::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* save = menu.addAction(QString::fromUtf8(kSaveActionText));
  if (menu.exec(event->globalPos()) == save) saveAs();
}
