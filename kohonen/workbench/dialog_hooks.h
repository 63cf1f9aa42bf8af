#pragma once

#include <functional>

#include "platform/prompter.h"

// How Gridwise's modal dialogs reach the screen without the session knowing about widgets.
// Every dialog of the session is a request object (a platform::ModalDialog) holding the
// dialog's fields; the session runs it through the prompter, whose Qt implementation calls
// execModal(), which calls the hook installed here. A test's scripted prompter answers the
// request itself and execModal() never runs. Without an installed hook a dialog is cancelled.

class ColumnSelectionRequest;
class NormalisationRequest;
class PcAnalyzerRequest;
class NetworkSizeRequest;
class NewMapRequest;
class PreferencesRequest;
class CellDescriptionRequest;
class CellFinderRequest;

struct GridwiseDialogHooks {
  // Each shows its dialog modally over the request's fields and returns IDOK or IDCANCEL.
  std::function<int(ColumnSelectionRequest&)> selectColumns;
  std::function<int(NormalisationRequest&)> chooseNormalisation;
  std::function<int(PcAnalyzerRequest&)> analyseComponents;
  std::function<int(NetworkSizeRequest&)> chooseNetworkSize;
  std::function<int(NewMapRequest&)> chooseNewMap;
  std::function<int(PreferencesRequest&)> editPreferences;
  std::function<int(CellDescriptionRequest&)> describeCell;
  std::function<int(CellFinderRequest&)> findCell;
};

// The installed hooks (each empty one cancels). Install on the GUI thread before a Gridwise
// window opens.
const GridwiseDialogHooks& gridwiseDialogHooks();
void setGridwiseDialogHooks(GridwiseDialogHooks hooks);

// Runs a hook, or cancels when none is installed.
template <class Request>
int runDialogHook(const std::function<int(Request&)>& hook, Request& request) {
  return hook ? hook(request) : platform::IDCANCEL;
}
