#pragma once

#include <filesystem>

#include "batch/desktop_job.h"
#include "kohonen/workbench/gridwise_session.h"

class CTask;

// "Save analysis as job…" of the Gridwise window: the session's choices as a job for
// `lumivane-batch gridwise --job`, which replays them as the window does (patterns with their
// normalisation and principal components, then the map trained with the settings in force).

// The job of the session's current choices, without its data source (see batch::setJobData);
// saveProject, when not empty, is where the rerun saves its project. Throws batch::JobRefusal
// when the session holds something a job cannot repeat (columns normalised in different ways,
// a map whose training was cancelled).
batch::Job gridwiseAnalysisJob(const GridwiseSession& session, const std::filesystem::path& saveProject = {});

// The menu command: the save dialog, the data file (or a CSV copy of the table, see
// batch::desktopJobData), the job written. True when a job file was written.
bool saveGridwiseAnalysisAsJob(const GridwiseSession& session, const CTask& task);
