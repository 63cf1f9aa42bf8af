#pragma once

#include "kohonen/workbench/dialog_hooks.h"

// Gridwise's modal Qt dialogs over the session's request objects: "Select relevant columns" with
// its "Inputs normalization" dialog, "PC Analyzer", "Create Network" and the "Program
// preferences" sheet. Each is parented to QApplication::activeWindow() and returns IDOK or
// IDCANCEL. Install on the GUI thread before a Gridwise window opens.

// Fills selectColumns, chooseNormalisation, analyseComponents, chooseNetworkSize and
// editPreferences; the other hooks are left as they are.
void installGridwiseDialogViews(GridwiseDialogHooks& hooks);
