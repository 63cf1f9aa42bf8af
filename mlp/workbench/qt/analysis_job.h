#pragma once

#include <filesystem>

#include "batch/desktop_job.h"
#include "mlp/workbench/vantor_session.h"

class CTask;

// "Save analysis as job…" of the Vantor window: the session's choices as a job for
// `lumivane-batch vantor --job`, which replays them in the windows' order (inputs, outputs,
// boxcounting, test set, network, kestrel's parameters, training) so that an analysis made in
// that order from a new window reruns to the same project.

// The job of the session's current choices, without its data source (see batch::setJobData);
// saveProject, when not empty, is where the rerun saves its project. Throws batch::JobRefusal
// when the session holds a choice a job cannot express (inputs normalised in different ways,
// another algorithm than the first, training still running).
batch::Job vantorAnalysisJob(VantorSession& session, const std::filesystem::path& saveProject = {});

// The menu command: the save dialog, the data file (or a CSV copy of the table, see
// batch::desktopJobData), the job written beside it. True when a job file was written.
bool saveVantorAnalysisAsJob(VantorSession& session, const CTask& task);
