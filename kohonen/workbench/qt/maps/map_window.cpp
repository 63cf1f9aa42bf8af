#include "kohonen/workbench/qt/maps/map_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <new>
#include <ostream>

#include "kohonen/workbench/gridwise_messages.h"
#include "kohonen/workbench/qt/maps/map_layout.h"
#include "shared/binary_io.h"
#include "shared/exceptions.h"

namespace {

constexpr int kFontSizes[] = {8, 10, 12, 14, 16, 18, 20};
constexpr char kPictureFilter[] = "PNG pictures (*.png)|*.png|SVG pictures (*.svg)|*.svg||";
constexpr char kOutOfMemory[] = "Out of memory";

// The message of a failed copy: a plain box of the window, with the tool's caption.
void copyFailed(const std::string& text) {
  gridwiseMessage(text, platform::MB_OK);
}

}  // namespace

// --- MapCanvas

MapCanvas::MapCanvas(const MapScene& scene, const MapViewOptions& options, QWidget* parent)
    : QWidget(parent), scene_(scene), options_(options) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
}

void MapCanvas::refresh() {
  render();
  update();
}

std::optional<CellPos> MapCanvas::cellAt(int x, int y) const {
  const MapLayout layout(width(), height(), scene_.rows(), scene_.columns(), options_.extraInfo,
                         scene_.colourCount());
  return layout.cellAt(x, y);
}

void MapCanvas::render() {
  picture_ = renderMapImage(scene_, options_, size());
  ++renders_;
}

void MapCanvas::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (picture_.size() != size()) render();  // a size change not yet seen by resizeEvent
  painter.drawImage(event->rect(), picture_, event->rect());
}

void MapCanvas::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  render();
}

void MapCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
  const QPoint at = event->position().toPoint();
  if (const std::optional<CellPos> cell = cellAt(at.x(), at.y()); cell && onCellDoubleClicked)
    onCellDoubleClicked(*cell);
}

// --- MapWindow

MapWindow::MapWindow(MapPicture picture, QWidget* owner)
    : QMainWindow(nullptr), scene_(std::move(picture)), owner_(owner) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromStdString(scene_.picture().title));
  canvas_ = new MapCanvas(scene_, options_, this);
  setCentralWidget(canvas_);
  canvas_->onCellDoubleClicked = [this](CellPos cell) {
    if (onCellDoubleClicked) onCellDoubleClicked(cell);
  };
  buildMenu();
  canvas_->setMinimumSize(kMinimumMapWidth, minimumClientHeight());

  // A third of the screen each way, at least the minimum size.
  QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  QSize client(kMinimumMapWidth, kMinimumMapHeight);
  if (screen) {
    const QSize s = screen->availableGeometry().size();
    client =
        QSize(std::max(s.width() / 3, kMinimumMapWidth), std::max(s.height() / 3, minimumClientHeight()));
  }
  resize(client.width(), client.height() + menuBar()->sizeHint().height());
}

MapWindow::~MapWindow() = default;

void MapWindow::buildMenu() {
  QMenu* actions = menuBar()->addMenu(QString::fromLatin1(kActionsMenu));
  connect(actions->addAction(QString::fromLatin1(kCopyMetafile)), &QAction::triggered, this,
          [this] { copyToMetafile(); });
  QAction* bitmap = actions->addAction(QString::fromLatin1(kCopyBitmap));
  bitmap->setShortcut(QKeySequence::Copy);
  connect(bitmap, &QAction::triggered, this, [this] { copyToBitmap(); });
  actions->addSeparator();
  QAction* save = actions->addAction(QString::fromLatin1(kSavePicture));
  save->setShortcut(QKeySequence::Save);
  connect(save, &QAction::triggered, this, [this] { savePicture(); });

  QMenu* map = menuBar()->addMenu(QString::fromLatin1(kMapMenu));
  QMenu* show = map->addMenu(QString::fromLatin1(kShowMenu));
  uMatrixAction_ = show->addAction(QString::fromLatin1(kUMatrix));
  uMatrixAction_->setCheckable(true);
  connect(uMatrixAction_, &QAction::triggered, this, [this](bool on) { setUMatrix(on); });
  cellSizeAction_ = show->addAction(QString::fromLatin1(kCellSize));
  cellSizeAction_->setCheckable(true);
  connect(cellSizeAction_, &QAction::triggered, this, [this](bool on) { setCellSize(on); });
  extraInfoAction_ = map->addAction(QString::fromLatin1(kExtraInfo));
  extraInfoAction_->setCheckable(true);
  connect(extraInfoAction_, &QAction::triggered, this, [this](bool on) { setExtraInfo(on); });
  namesAction_ = map->addAction(QString::fromLatin1(kCellNames));
  namesAction_->setCheckable(true);
  connect(namesAction_, &QAction::triggered, this, [this](bool on) { setShowNames(on); });
  map->addSeparator();
  QMenu* sizes = map->addMenu(QString::fromLatin1(kNamesFontSize));
  fontSizes_ = new QActionGroup(this);
  fontSizes_->setExclusive(true);
  for (int size : kFontSizes) {
    QAction* a = sizes->addAction(QString::number(size));
    a->setCheckable(true);
    a->setData(size);
    fontSizes_->addAction(a);
    connect(a, &QAction::triggered, this, [this, size] { setNamesFontSize(size); });
  }
  connect(map->addAction(QString::fromLatin1(kBackground)), &QAction::triggered, this,
          [this] { chooseBackground(); });
  syncChecks();
}

QAction* MapWindow::action(const QString& text) const {
  for (QAction* a : findChildren<QAction*>())
    if (a->text() == text) return a;
  // Submenus are actions of their parent menus too.
  for (QMenu* m : findChildren<QMenu*>())
    if (m->title() == text) return m->menuAction();
  return nullptr;
}

void MapWindow::syncChecks() {
  uMatrixAction_->setChecked(options_.uMatrix);
  cellSizeAction_->setChecked(options_.cellSize);
  extraInfoAction_->setChecked(options_.extraInfo);
  namesAction_->setChecked(options_.showNames);
  for (QAction* a : fontSizes_->actions()) a->setChecked(a->data().toInt() == options_.namesFontSize);
}

void MapWindow::settingsChanged() {
  syncChecks();
  canvas_->refresh();
}

void MapWindow::setUMatrix(bool on) {
  options_.uMatrix = on;
  if (on) options_.cellSize = false;
  settingsChanged();
}

void MapWindow::setCellSize(bool on) {
  options_.cellSize = on;
  if (on) options_.uMatrix = false;
  settingsChanged();
}

void MapWindow::setExtraInfo(bool on) {
  options_.extraInfo = on;
  ensureMinimumSize();
  settingsChanged();
}

void MapWindow::setShowNames(bool on) {
  options_.showNames = on;
  settingsChanged();
}

void MapWindow::setNamesFontSize(int size) {
  options_.namesFontSize = size;
  settingsChanged();
}

void MapWindow::chooseBackground() {
  const QColor& b = options_.background;
  const std::optional<platform::Rgb> chosen = platform::prompter().chooseColour(
      {static_cast<std::uint8_t>(b.red()), static_cast<std::uint8_t>(b.green()),
       static_cast<std::uint8_t>(b.blue())});
  if (chosen) setBackground(QColor(chosen->r, chosen->g, chosen->b));
}

void MapWindow::setBackground(const QColor& colour) {
  options_.background = colour;
  settingsChanged();
}

int MapWindow::minimumClientHeight() const {
  return minimumMapHeight(options_.extraInfo, scene_.colourCount());
}

void MapWindow::ensureMinimumSize() {
  const int needed = minimumClientHeight();
  canvas_->setMinimumSize(kMinimumMapWidth, needed);
  const int grow = needed - canvas_->height();
  if (grow > 0) {
    resize(width(), height() + grow);
    // The canvas takes the new height at once, so the picture is rendered for it.
    canvas_->resize(canvas_->width(), std::max(canvas_->height(), needed));
  }
}

void MapWindow::copyToMetafile() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QByteArray svg =
      renderMapSvg(scene_, options_, canvas_->size(), QString::fromStdString(scene_.picture().title));
  if (!clipboard || svg.isEmpty()) return copyFailed(kInternalError);
  auto* data = new QMimeData;
  data->setData(QStringLiteral("image/svg+xml"), svg);
  clipboard->setMimeData(data);
}

void MapWindow::copyToBitmap() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return copyFailed(kInternalError);
  try {
    const QByteArray dib = deviceIndependentBitmap(canvas_->picture());
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !canvas_->picture().save(&buffer, "PNG"))
      throw MyException(kInternalError);
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/bmp"), bitmapFile(dib));
    data->setData(QStringLiteral("image/png"), png);
    clipboard->setMimeData(data);
  } catch (const MyException& e) {
    copyFailed(e.what());
  } catch (const std::bad_alloc&) {
    copyFailed(kOutOfMemory);
  }
}

bool MapWindow::writePicture(const QString& path) const {
  QByteArray bytes;
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    bytes = renderMapSvg(scene_, options_, canvas_->size(), QString::fromStdString(scene_.picture().title));
  } else {
    QBuffer buffer(&bytes);
    const QImage image = renderMapImage(scene_, options_, canvas_->size());
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
  }
  if (bytes.isEmpty()) return false;
  return writeFileAtomically(path.toStdString(), [&](std::ostream& out) {
    out.write(bytes.constData(), static_cast<std::streamsize>(bytes.size()));
  });
}

void MapWindow::savePicture() {
  platform::FileDialogRequest request;
  request.save = true;
  request.defaultExt = "png";
  request.fileName = scene_.picture().title + ".png";
  request.filter = kPictureFilter;
  request.overwritePrompt = true;
  request.title = "Save picture as";
  const std::optional<std::string> path = platform::prompter().fileDialog(request);
  if (!path) return;
  if (!writePicture(QString::fromStdString(*path)))
    gridwiseMessage("The picture could not be written to " + *path + ".", kFailureBox);
}

void MapWindow::closeEvent(QCloseEvent* event) {
  if (onClosed) onClosed(this);
  onClosed = nullptr;
  QMainWindow::closeEvent(event);
}
