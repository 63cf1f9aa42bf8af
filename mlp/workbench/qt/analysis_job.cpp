#include "mlp/workbench/qt/analysis_job.h"

#include <QDialog>
#include <QJsonArray>
#include <QLineEdit>
#include <cstdlib>

#include "batch/batch_choices.h"
#include "mlp/engine/network_description.h"
#include "mlp/engine/perceptron.h"
#include "shared/tool_task.h"

namespace {

using batch::JobRefusal;

// Reads kestrel's five parameters from its own dialog, which the plug-in opens with the values
// in force, and cancels it; every other box goes to the prompter it stands in for.
class ParameterProbe final : public platform::Prompter {
 public:
  explicit ParameterProbe(platform::Prompter& outer) : outer_(outer) {}
  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    return outer_.messageBox(text, caption, flags);
  }
  std::optional<std::string> fileDialog(const platform::FileDialogRequest& request) override {
    return outer_.fileDialog(request);
  }
  std::optional<platform::Rgb> chooseColour(platform::Rgb initial) override {
    return outer_.chooseColour(initial);
  }
  int runModal(platform::ModalDialog& dialog) override {
    title = dialog.dialogTitle();
    // The fields in the order the dialog shows them: initial, minimal, maximal, Nu (-), Nu (+),
    // threads.
    if (auto* widget = dynamic_cast<QDialog*>(&dialog))
      for (QLineEdit* field : widget->findChildren<QLineEdit*>())
        fields.push_back(field->text().toStdString());
    return platform::IDCANCEL;
  }

  std::string title;
  std::vector<std::string> fields;

 private:
  platform::Prompter& outer_;
};

QJsonArray names(const std::vector<std::int32_t>& columns, const RawTable& table) {
  QJsonArray list;
  for (std::int32_t c : columns)
    list.append(QString::fromStdString(table.columnNames[static_cast<std::size_t>(c)]));
  return list;
}

// The one kind the columns share (a project may hold a kind per column); Uniform, which
// normalising turns into None, fits any.
NormalisationKind commonKind(const std::vector<VantorNormaliser>& normalisers, const char* side) {
  std::optional<NormalisationKind> common;
  for (const VantorNormaliser& n : normalisers) {
    const NormalisationKind k = n.kind();
    if (k == NormalisationKind::Uniform) continue;
    if (common && *common != k)
      throw JobRefusal(std::string("the ") + side +
                       " are normalised in different ways; a job holds one kind for all " + side + ".");
    common = k;
  }
  return common.value_or(NormalisationKind::None);
}

const char* testSetModeName(TestSetMode mode) {
  switch (mode) {
    case TestSetMode::RandomTestSet:
      return "random";
    case TestSetMode::LastExamples:
      return "last";
    case TestSetMode::BlockOfExamples:
      return "block";
    case TestSetMode::RandomAndLast:
      return "random-last";
  }
  return "random";
}

void addColumns(batch::Job& job, VantorSession& session) {
  const VantorDataSet& set = session.dataSet();
  if (session.inputsChosen() && set.inputCount() > 0) {
    job.options.insert("inputs", names(set.inputColumns(), session.table()));
    const NormalisationKind kind = commonKind(set.inputNormalisers(), "inputs");
    if (kind != NormalisationKind::None) job.options.insert("input-norm", batch::kindName(kind));
  }
  if (session.outputsChosen() && set.outputCount() > 0) {
    job.options.insert("outputs", names(set.outputColumns(), session.table()));
    const NormalisationKind kind = commonKind(set.outputNormalisers(), "outputs");
    if (kind != NormalisationKind::None) job.options.insert("output-norm", batch::kindName(kind));
  }
  if (session.lastBoxCounting()) job.options.insert("boxcount", true);
}

// The layout is replayed only when it is not the one a new window starts with, since every
// random layout draws from the generator the network's weights come from.
void addTestSet(batch::Job& job, VantorSession& session) {
  if (!session.inputsChosen() || !session.outputsChosen()) return;
  const TestSetParameters& p = session.dataSet().testSetParameters();
  const TrainingSnapshot s = session.run().Snapshot();
  if (p.testSetMode == TestSetParameters{}.testSetMode && s.testCount == 0 && p.blockStart == 0 &&
      p.lastCount == 0)
    return;
  job.options.insert("test-set", testSetModeName(p.testSetMode));
  job.options.insert("test-count", s.testCount);
  if (p.testSetMode == TestSetMode::BlockOfExamples) job.options.insert("block-start", p.blockStart);
  if (p.testSetMode == TestSetMode::RandomAndLast) job.options.insert("last-count", p.lastCount);
}

void addNetwork(batch::Job& job, VantorSession& session) {
  NetworkDescription d;
  if (!session.networkExists() || !session.network()->Describe(d)) return;
  std::string layers;
  for (int l = 0; l < d.layerCount; ++l)
    layers +=
        (l ? "," : "") + std::to_string(d.neuronCounts[l]) + d.functionCodes[l] + std::to_string(d.orders[l]);
  job.options.insert("net", QString::fromStdString(layers));
}

void addAlgorithm(batch::Job& job, VantorSession& session) {
  if (!session.algorithms().Selected()) return;
  // The batch program trains with the first algorithm of the list, as a new window does.
  if (session.algorithms().selectedAlgorithm != 0)
    throw JobRefusal("the job trains with the first algorithm of the list; select it before saving the job.");
  ParameterProbe probe(platform::prompter());
  {
    platform::PrompterScope scope(probe);
    session.EditAlgorithm();
  }
  // The threads field after the five changes the speed only, not the result: a rerun elsewhere
  // takes its own machine's default.
  if (probe.title != "Rprop parameters" || probe.fields.size() < 5) return;
  static constexpr const char* kOptions[] = {"initial-step", "minimal-step", "maximal-step", "decrease",
                                             "increase"};
  for (std::size_t f = 0; f < 5; ++f) {
    char* end = nullptr;
    const double value = std::strtod(probe.fields[f].c_str(), &end);
    if (end != probe.fields[f].c_str()) job.options.insert(kOptions[f], value);
  }
}

// Criteria that ended the training are kept as criteria, so a rerun on other data stops the
// same way; a training stopped by hand is replayed as its number of epochs.
void addTraining(batch::Job& job, VantorSession& session) {
  if (!session.networkExists()) return;
  const TrainingSnapshot s = session.run().Snapshot();
  if (s.epochCounter <= 0) return;
  const StoppingCriteria c = session.run().stoppingCriteria();
  if (c.useStoppingCriteria && session.run().StoppingCriteriaMet()) {
    job.options.insert("max-epochs", c.maxEpochs);
    job.options.insert("train-error", static_cast<double>(c.trainingErrorLimit));
    job.options.insert("test-error", static_cast<double>(c.testErrorLimit));
  } else {
    job.options.insert("epochs", s.epochCounter);
  }
}

}  // namespace

batch::Job vantorAnalysisJob(VantorSession& session, const std::filesystem::path& saveProject) {
  if (session.isTraining()) throw JobRefusal("stop the training first.");
  batch::Job job;
  job.command = batch::Command::Vantor;
  addColumns(job, session);
  addTestSet(job, session);
  addNetwork(job, session);
  addAlgorithm(job, session);
  addTraining(job, session);
  if (!saveProject.empty() && session.networkExists() && session.inputsChosen() && session.outputsChosen())
    job.options.insert("save-project", QString::fromStdString(saveProject.string()));
  return job;
}

bool saveVantorAnalysisAsJob(VantorSession& session, const CTask& task) {
  const std::string caption = VantorSession::kSheetCaption;
  if (session.isTraining()) {
    platform::prompter().messageBox("Stop training process first!", caption,
                                    platform::MB_OK | platform::MB_ICONWARNING);
    return false;
  }
  return batch::saveJobThroughDialog(caption, "vantor-job.json", [&](const std::filesystem::path& jobFile) {
    std::filesystem::path project = jobFile;
    project.replace_extension(".vtp");
    // The choices first: a session a job cannot express leaves no data copy behind.
    std::optional<batch::Job> job = vantorAnalysisJob(session, project);
    const std::optional<batch::JobData> data =
        batch::desktopJobData(task.application(), task.source(), session.table(), jobFile, caption);
    if (!data) return std::optional<batch::Job>();
    batch::setJobData(*job, *data);
    return job;
  });
}
