#include "kohonen/workbench/qt/maps/gridwise_maps.h"

#include <QApplication>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "kohonen/workbench/gridwise_session.h"
#include "kohonen/workbench/qt/maps/cell_dialogs.h"
#include "kohonen/workbench/qt/maps/map_window.h"
#include "kohonen/workbench/qt/maps/new_map_dialog.h"

namespace {

// Offset between the windows of one set, so that a new one does not hide the last.
constexpr int kCascadeStep = 24;
constexpr int kCascadeSteps = 8;

}  // namespace

class MapWindowSet::Impl final : public QObject, public GridwiseObserver {
 public:
  Impl(GridwiseSession& session, QWidget* owner) : session_(session), owner_(owner) {
    session_.addObserver(*this);
  }
  ~Impl() override {
    session_.removeObserver(*this);
    closeAll(/*later=*/false);
  }

  void sessionChanged(unsigned changes) override {
    if (changes & kNetChanged) closeAll(/*later=*/true);
    if (changes & kCellDescriptionChanged) refreshCellDescriptionView(session_.openCellDescription());
  }

  void open(MapPicture picture) {
    auto* window = new MapWindow(std::move(picture), owner_);
    window->onClosed = [this](MapWindow* w) { forget(w); };
    // The dialog that a double click opens runs after the click's event has been handled,
    // so the window may close meanwhile without pulling the ground from under its handler.
    window->onCellDoubleClicked = [this](CellPos cell) {
      QTimer::singleShot(0, this, [this, cell] { session_.showCell(cell); });
    };
    place(*window);
    windows_.push_back(window);
    window->show();
    window->raise();
    window->activateWindow();
  }

  // Closes every window; during the set's own destruction at once, otherwise through the
  // event loop (a window's handler may be running below this call).
  void closeAll(bool later) {
    std::vector<QPointer<MapWindow>> windows;
    windows.swap(windows_);
    for (const QPointer<MapWindow>& w : windows) {
      if (!w) continue;
      w->onClosed = nullptr;
      w->onCellDoubleClicked = nullptr;
      w->hide();
      if (later)
        w->deleteLater();
      else
        delete w.data();
    }
  }

  int count() {
    prune();
    return static_cast<int>(windows_.size());
  }

  MapWindow* window(int i) {
    prune();
    return i >= 0 && i < static_cast<int>(windows_.size()) ? windows_[static_cast<std::size_t>(i)].data()
                                                           : nullptr;
  }

 private:
  void forget(MapWindow* w) {
    std::erase_if(windows_, [w](const QPointer<MapWindow>& p) { return !p || p == w; });
  }
  void prune() {
    std::erase_if(windows_, [](const QPointer<MapWindow>& p) { return !p; });
  }
  void place(MapWindow& window) {
    const QPoint origin = owner_ ? owner_->frameGeometry().topLeft() + QPoint(40, 40) : QPoint(40, 40);
    const int step = static_cast<int>(placed_++ % kCascadeSteps) * kCascadeStep;
    window.move(origin + QPoint(step, step));
  }

  GridwiseSession& session_;
  QPointer<QWidget> owner_;
  std::vector<QPointer<MapWindow>> windows_;
  unsigned placed_ = 0;
};

MapWindowSet::MapWindowSet(GridwiseSession& session, QWidget* owner)
    : impl_(std::make_unique<Impl>(session, owner)) {}

MapWindowSet::~MapWindowSet() = default;

void MapWindowSet::open(MapPicture picture) {
  impl_->open(std::move(picture));
}

void MapWindowSet::closeAll() {
  impl_->closeAll(/*later=*/true);
}

int MapWindowSet::count() const {
  return impl_->count();
}

MapWindow* MapWindowSet::window(int i) const {
  return impl_->window(i);
}

void installMapDialogViews(GridwiseDialogHooks& hooks) {
  hooks.chooseNewMap = [](NewMapRequest& request) { return runNewMapDialog(request); };
  hooks.describeCell = [](CellDescriptionRequest& request) { return runCellDescriptionDialog(request); };
  hooks.findCell = [](CellFinderRequest& request) { return runCellFinderDialog(request); };
}
