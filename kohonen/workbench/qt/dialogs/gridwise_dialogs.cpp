#include "kohonen/workbench/qt/dialogs/gridwise_dialogs.h"

#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/preferences_request.h"
#include "kohonen/workbench/selector_request.h"

void installGridwiseDialogViews(GridwiseDialogHooks& hooks) {
  // The dialogs are being built; until then every request is cancelled as without a hook.
  hooks.selectColumns = [](ColumnSelectionRequest&) { return int{platform::IDCANCEL}; };
  hooks.chooseNormalisation = [](NormalisationRequest&) { return int{platform::IDCANCEL}; };
  hooks.analyseComponents = [](PcAnalyzerRequest&) { return int{platform::IDCANCEL}; };
  hooks.chooseNetworkSize = [](NetworkSizeRequest&) { return int{platform::IDCANCEL}; };
  hooks.editPreferences = [](PreferencesRequest&) { return int{platform::IDCANCEL}; };
}
