#include "kohonen/workbench/qt/analysis_job.h"

#include <QJsonArray>
#include <optional>

#include "batch/batch_choices.h"
#include "shared/tool_task.h"

namespace {

using batch::JobRefusal;

// The one kind the chosen columns share; a constant column (which normalising turns into None)
// fits any kind.
NormalisationKind commonKind(const std::vector<GridwiseNormaliser>& normalisers) {
  std::optional<NormalisationKind> common;
  for (const GridwiseNormaliser& n : normalisers) {
    const NormalisationKind k = n.kind();
    if (k == NormalisationKind::Uniform) continue;
    if (common && *common != k)
      throw JobRefusal("the columns are normalised in different ways; a job holds one kind for all columns.");
    common = k;
  }
  return common.value_or(NormalisationKind::None);
}

void addPatterns(batch::Job& job, const GridwiseSession& session) {
  const GridwiseDataSet& set = session.dataSet();
  if (!session.hasPatterns() || set.chosenCount() == 0) return;
  QJsonArray names;
  for (std::int32_t c : set.chosenColumns())
    names.append(QString::fromStdString(set.columnNames()[static_cast<std::size_t>(c)]));
  job.options.insert("select", names);
  const NormalisationKind kind = commonKind(set.normalisers());
  if (kind != NormalisationKind::None) job.options.insert("norm", batch::kindName(kind));
  // The count kept, whether the user took the 90 % preselection or picked it.
  if (set.projected()) job.options.insert("pcs", QString::number(set.projectionMatrix().Cols()));
}

void addMap(batch::Job& job, const GridwiseSession& session) {
  if (!session.hasNet()) return;
  if (session.lastTraining().cancelled)
    throw JobRefusal("the map's training was cancelled after " +
                     std::to_string(session.lastTraining().passes) +
                     " passes, and a job would train it to the end. Create the map again first.");
  job.options.insert("map-rows", session.net()->rows());
  job.options.insert("map-columns", session.net()->columns());
}

}  // namespace

batch::Job gridwiseAnalysisJob(const GridwiseSession& session, const std::filesystem::path& saveProject) {
  batch::Job job;
  job.command = batch::Command::Gridwise;
  addPatterns(job, session);
  addMap(job, session);
  // The settings in force, so the rerun does not depend on the preferences of another machine.
  const TrainingSettings& s = session.trainingSettings();
  job.options.insert("iterations", s.iterations);
  job.options.insert("stiffness", s.initialStiffness);
  job.options.insert("delta", s.delta);
  job.options.insert("decay", s.decayFactor);
  if (!saveProject.empty() && session.canSaveProject())
    job.options.insert("save-project", QString::fromStdString(saveProject.string()));
  return job;
}

bool saveGridwiseAnalysisAsJob(const GridwiseSession& session, const CTask& task) {
  const std::string caption = "Gridwise";
  return batch::saveJobThroughDialog(caption, "gridwise-job.json", [&](const std::filesystem::path& jobFile) {
    std::filesystem::path project = jobFile;
    project.replace_extension(".gwp");
    // The choices first: a session a job cannot express leaves no data copy behind.
    std::optional<batch::Job> job = gridwiseAnalysisJob(session, project);
    const std::optional<batch::JobData> data =
        batch::desktopJobData(task.application(), task.source(), session.table(), jobFile, caption);
    if (!data) return std::optional<batch::Job>();
    batch::setJobData(*job, *data);
    return job;
  });
}
