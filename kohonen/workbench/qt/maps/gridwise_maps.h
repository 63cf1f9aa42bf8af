#pragma once

#include <memory>

#include "kohonen/engine/map_views.h"
#include "kohonen/workbench/dialog_hooks.h"

class GridwiseSession;
class MapWindow;
class QWidget;

// The Results page's views: the "Create New Map" dialog, the map windows, "Cell description"
// and "Cell finder". Everything here lives on the GUI thread.

// Fills chooseNewMap, describeCell and findCell with functions that show the real modal Qt
// dialogs over the request objects (parent: the active window, or the sheet behind an active
// map window). The other hooks are left as they are.
void installMapDialogViews(GridwiseDialogHooks& hooks);

// The map windows of one main sheet. Every window keeps its own copy of its picture; a double
// click on a cell shows it through session.showCell. The set observes the session and closes
// every window when the net changes (kNetChanged), on closeAll() and when it is destroyed. The
// session and the owner must outlive the set.
class MapWindowSet {
 public:
  MapWindowSet(GridwiseSession& session, QWidget* owner);
  ~MapWindowSet();
  MapWindowSet(const MapWindowSet&) = delete;
  MapWindowSet& operator=(const MapWindowSet&) = delete;

  // Creates a window for picture and shows it.
  void open(MapPicture picture);
  // Closes every open map window.
  void closeAll();
  // Number of open map windows.
  int count() const;
  // Open window i (0 ≤ i < count(), in the order they were opened), or nullptr.
  MapWindow* window(int i) const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};
