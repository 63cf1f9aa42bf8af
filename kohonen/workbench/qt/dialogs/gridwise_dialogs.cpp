#include "kohonen/workbench/qt/dialogs/gridwise_dialogs.h"

#include <QApplication>

#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/preferences_request.h"
#include "kohonen/workbench/qt/dialogs/create_network_dialog.h"
#include "kohonen/workbench/qt/dialogs/dialog_support.h"
#include "kohonen/workbench/qt/dialogs/pc_analyzer_dialog.h"
#include "kohonen/workbench/qt/dialogs/preferences_sheet.h"
#include "kohonen/workbench/qt/dialogs/selector_dialog.h"
#include "kohonen/workbench/selector_request.h"

namespace {

// Shows the view of a request modally over the active window.
template <class Dialog, class Request>
int show(Request& request) {
  Dialog dialog(request, QApplication::activeWindow());
  return gridwise_dialogs::execDialog(dialog);
}

}  // namespace

void installGridwiseDialogViews(GridwiseDialogHooks& hooks) {
  hooks.selectColumns = [](ColumnSelectionRequest& r) { return show<SelectorDialog>(r); };
  hooks.chooseNormalisation = [](NormalisationRequest& r) { return show<GridwiseNormalisationDialog>(r); };
  hooks.analyseComponents = [](PcAnalyzerRequest& r) { return show<PcAnalyzerDialog>(r); };
  hooks.chooseNetworkSize = [](NetworkSizeRequest& r) { return show<CreateNetworkDialog>(r); };
  hooks.editPreferences = [](PreferencesRequest& r) { return show<PreferencesSheet>(r); };
}
