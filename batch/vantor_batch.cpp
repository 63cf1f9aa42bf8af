// The Vantor analysis of a batch run: the session's commands in the windows' order, each dialog
// answered from the job through the batch prompter.

#include <QJsonArray>
#include <QLineEdit>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <sstream>

#include "batch/batch_choices.h"
#include "batch/batch_environment.h"
#include "batch/batch_pictures.h"
#include "batch/batch_run.h"
#include "host/workbook_io.h"
#include "mlp/engine/perceptron.h"
#include "mlp/workbench/vantor_dialogs.h"
#include "mlp/workbench/vantor_session.h"
#include "plugins/rprop/rprop_parameters_dialog.h"

namespace batch {
namespace {

using platform::IDCANCEL;
using platform::IDOK;
using Clock = std::chrono::steady_clock;

std::string shortest(float value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

// The five Rprop fields with the options that set them.
struct RpropOption {
  const char* option;
  RpropParametersDialog::Field field;
};
constexpr RpropOption kRpropOptions[] = {{"initial-step", RpropParametersDialog::Initial},
                                         {"minimal-step", RpropParametersDialog::Minimal},
                                         {"maximal-step", RpropParametersDialog::Maximal},
                                         {"decrease", RpropParametersDialog::Decrease},
                                         {"increase", RpropParametersDialog::Increase}};

class VantorRun {
 public:
  VantorRun(const Job& job, std::ostream& err, RunReport& report)
      : job_(job), err_(err), report_(report), quiet_(job.flag("quiet")), prompter_(err, quiet_) {}

  int run() {
    platform::PrompterScope scope(prompter_);
    const auto start = Clock::now();
    const int code = [&] {
      BatchHost env(Tool::Vantor, err_, quiet_);
      if (!env.entered()) return refused("the host was refused");
      RawTable table;
      if (!env.readData(job_, table)) return refused("the data source could not be read");
      timing("read", start);
      summary_.insert("table", QJsonObject{{"rows", table.rowCount}, {"columns", table.columnCount()}});
      VantorSession session(table, libraryFolder());
      if (!session.Initialise()) return refused("the tool could not start");
      return analyse(env, session);
    }();
    QJsonArray messages;
    for (const std::string& t : prompter_.refusals()) messages.append(QString::fromStdString(t));
    summary_.insert("messages", messages);
    timing("total", start);
    summary_.insert("timings", timings_);
    report_.summary = summary_;
    return code;
  }

 private:
  int analyse(BatchHost& env, VantorSession& session) {
    if (job_.has("load-project")) {
      prompter_.queueFile(job_.text("load-project"));
      if (!session.LoadProject()) return refused("the project could not be loaded");
    }
    if (job_.has("inputs") && !selectColumns(session, ColumnChoiceDialog::Side::Inputs)) return kExitRefused;
    if (job_.has("outputs") && !selectColumns(session, ColumnChoiceDialog::Side::Outputs))
      return kExitRefused;

    if (job_.flag("boxcount")) {
      const auto t = Clock::now();
      StderrProgress progress(err_, quiet_);
      const significance::BoxCounter* results = session.Boxcounting(&progress);
      if (!results) return refused("boxcounting was refused");
      timing("boxcounting", t);
      summary_.insert("boxcounting", boxcountingSummary(*results));
    }
    if ((job_.has("test-set") || job_.has("test-count") || job_.has("block-start") ||
         job_.has("last-count")) &&
        !editTestSet(session))
      return kExitRefused;
    if (job_.has("net") && !createNetwork(session)) return kExitRefused;
    if ((job_.has("threads") || std::any_of(std::begin(kRpropOptions), std::end(kRpropOptions),
                                            [&](const RpropOption& o) { return job_.has(o.option); })) &&
        !editAlgorithm(session))
      return kExitRefused;
    if (wantsTraining() && !train(session)) return kExitRefused;

    if (job_.has("save-net")) {
      prompter_.queueFile(job_.text("save-net"));
      if (!session.SaveNetwork()) return refused("the network could not be saved");
      written(job_.text("save-net"));
    }
    if (job_.has("save-project")) {
      prompter_.queueFile(job_.text("save-project"));
      if (!session.SaveProject()) return refused("the project could not be saved");
      written(job_.text("save-project"));
    }
    if (job_.has("output") && !output(env, session)) return kExitRefused;
    if (job_.has("errors") && !writeErrors(session)) return kExitRefused;
    if (!pictures(session)) return kExitRefused;
    summary_.insert("network", networkSummary(session));
    summary_.insert("data set", dataSetSummary(session));
    return kExitSuccess;
  }

  bool selectColumns(VantorSession& session, ColumnChoiceDialog::Side side) {
    const bool inputs = side == ColumnChoiceDialog::Side::Inputs;
    const std::vector<std::string> names = job_.list(inputs ? "inputs" : "outputs");
    const char* normOption = inputs ? "input-norm" : "output-norm";
    const NormalisationKind kind = parseKind(normOption, job_.text(normOption, "none"));
    std::string missing;
    prompter_.queueDialog([&, names, kind](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<ColumnChoiceDialog&>(d);
      for (const std::string& n : names)
        if (std::find(dialog.allData().begin(), dialog.allData().end(), n) == dialog.allData().end())
          missing = n;
      if (!missing.empty()) return IDCANCEL;
      dialog.clear();
      dialog.choose(names);
      if (kind != NormalisationKind::None) {
        prompter_.queueNestedDialog([kind](platform::ModalDialog& nd) {
          auto& n = dynamic_cast<NormalisationDialog&>(nd);
          for (std::size_t i = 0; i < n.options().size(); ++i)
            if (n.options()[i].kind == kind) n.selected = static_cast<int>(i);
          return IDOK;
        });
        if (!dialog.normalise()) return IDCANCEL;
      }
      return dialog.canAccept() ? IDOK : IDCANCEL;
    });
    const bool done = inputs ? session.SelectInputs() : session.SelectOutputs();
    prompter_.clearQueues();
    if (!missing.empty()) {
      err_ << "lumivane-batch: the table has no column named \"" << missing << "\"\n";
      return refusedFlag();
    }
    if (!done) return refusedFlag(inputs ? "the inputs were not chosen" : "the outputs were not chosen");
    return true;
  }

  bool editTestSet(VantorSession& session) {
    prompter_.queueDialog([&](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<TestSetDialog&>(d);
      if (job_.has("test-set")) dialog.mode = parseTestSetMode(job_.text("test-set"));
      if (auto v = job_.integer("test-count")) dialog.testCount = static_cast<std::int32_t>(*v);
      if (auto v = job_.integer("block-start")) dialog.blockStart = static_cast<std::int32_t>(*v);
      if (auto v = job_.integer("last-count")) dialog.lastCount = static_cast<std::int32_t>(*v);
      return dialog.accept() ? IDOK : IDCANCEL;
    });
    const bool done = session.EditTestSet();
    prompter_.clearQueues();
    return done || refusedFlag("the test set was not laid out");
  }

  bool createNetwork(VantorSession& session) {
    const std::vector<LayerChoice> layers = parseNetwork(job_.text("net"));
    std::string problem;
    prompter_.queueDialog([&](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<NetworkConstructorDialog&>(d);
      dialog.layerCount = static_cast<int>(layers.size());
      dialog.relayout();
      for (std::size_t i = 0; i < layers.size(); ++i) {
        NetworkConstructorDialog::Row& row = dialog.rows[i];
        if (row.neuronsEnabled)
          row.neurons = layers[i].neurons;
        else if (row.neurons != layers[i].neurons)
          problem = "the output layer has one neuron per output column (" + std::to_string(row.neurons) +
                    "), not " + std::to_string(layers[i].neurons);
        row.orderIndex = layers[i].order - 1;
        for (std::size_t f = 0; f < dialog.functionNames().size(); ++f)
          if (dialog.functionNames()[f][0] == layers[i].function) row.functionIndex = static_cast<int>(f);
      }
      if (!problem.empty()) return IDCANCEL;
      return dialog.accept() ? IDOK : IDCANCEL;
    });
    const bool done = session.CreateNetwork();
    prompter_.clearQueues();
    if (!problem.empty()) {
      err_ << "lumivane-batch: " << problem << "\n";
      return refusedFlag();
    }
    return done || refusedFlag("the network was not created");
  }

  // Kestrel's five parameters and its threads through its own dialog, as a user would type them.
  bool editAlgorithm(VantorSession& session) {
    prompter_.queueDialog([&](platform::ModalDialog& d) {
      auto* dialog = dynamic_cast<RpropParametersDialog*>(&d);
      if (!dialog) {
        err_ << "lumivane-batch: the selected algorithm has no Rprop parameters (\"" << d.dialogTitle()
             << "\")\n";
        return IDCANCEL;
      }
      for (const RpropOption& o : kRpropOptions)
        if (auto v = job_.number(o.option)) dialog->field(o.field)->setText(QString::number(*v, 'g', 17));
      // The threads go through the same field a user would fill in, with its range check.
      if (auto n = job_.integer("threads"))
        dialog->field(RpropParametersDialog::Threads)->setText(QString::number(*n));
      dialog->accept();
      return dialog->result() == QDialog::Accepted ? IDOK : IDCANCEL;
    });
    const bool done = session.EditAlgorithm();
    prompter_.clearQueues();
    return done || refusedFlag("the algorithm's parameters were not accepted");
  }

  bool wantsTraining() const {
    return job_.has("epochs") || job_.has("max-epochs") || job_.has("train-error") || job_.has("test-error");
  }

  bool train(VantorSession& session) {
    StoppingCriteria criteria = session.run().stoppingCriteria();
    criteria.useStoppingCriteria = 1;
    if (auto n = job_.integer("epochs")) {
      // The run stops once the counter passes maxEpochs: N more epochs from where it stands.
      const long long last = session.run().Snapshot().epochCounter + *n - 1;
      criteria.maxEpochs = static_cast<int>(std::min<long long>(last, std::numeric_limits<int>::max()));
      criteria.trainingErrorLimit = 0.0f;
      criteria.testErrorLimit = 0.0f;
    } else {
      if (auto n = job_.integer("max-epochs")) criteria.maxEpochs = static_cast<int>(*n);
      if (auto e = job_.number("train-error")) criteria.trainingErrorLimit = static_cast<float>(*e);
      if (auto e = job_.number("test-error")) criteria.testErrorLimit = static_cast<float>(*e);
    }
    prompter_.queueDialog([criteria](platform::ModalDialog& d) {
      dynamic_cast<StoppingCriteriaDialog&>(d).criteria = criteria;
      return IDOK;
    });
    const bool set = session.EditStoppingCriteria();
    prompter_.clearQueues();
    if (!set) return refusedFlag("the stopping criteria were not set");

    const auto t = Clock::now();
    const bool trained = session.TrainUntilStopped([&](const TrainingSnapshot& s) {
      if (interruptRequested().load()) session.StopTraining();
      if (!quiet_)
        err_ << "Epoch " << s.epochCounter << ": training error " << shortest(s.trainingError)
             << ", test error " << shortest(s.testError) << "\n";
    });
    if (!trained) return refusedFlag("training did not start");
    if (interruptRequested().load()) return refusedFlag("interrupted; nothing more was written");
    timing("training", t);
    if (job_.has("keep-best") && session.bestNetworkKept()) {
      if (!session.RestoreBestNetwork()) return refusedFlag("the best network could not be restored");
      restoredBest_ = true;
    }
    return true;
  }

  bool output(BatchHost& env, VantorSession& session) {
    const SheetTarget target = parseSheetTarget(job_.text("output"));
    env.activateTarget(target);
    OutputPlace place;
    place.useActive = true;
    place.firstCell = target.cell;
    const OutputKind kind = job_.flag("all-data") ? OutputKind::AllData : OutputKind::AnswersOnly;
    if (session.Output(place, kind) != OutputWriter::Outcome::Written)
      return refusedFlag("the answers were not written");
    for (const std::string& f : env.saveTarget(target)) written(f);
    return true;
  }

  bool writeErrors(VantorSession& session) {
    const std::vector<float> training = session.run().TrainingHistory();
    const std::vector<float> test = session.run().TestHistory();
    std::ostringstream csv;
    csv << "Epoch,Training error,Test error\n";
    for (std::size_t i = 0; i < training.size() && i < test.size(); ++i)
      csv << i << "," << shortest(training[i]) << "," << shortest(test[i]) << "\n";
    if (!writeTextFile(job_.text("errors"), csv.str()))
      return refusedFlag("cannot write " + job_.text("errors"));
    written(job_.text("errors"));
    return true;
  }

  bool pictures(VantorSession& session) {
    struct Picture {
      const char* option;
      VantorPicture kind;
    };
    const Picture all[] = {{"errors-picture", VantorPicture::ErrorHistory},
                           {"scatter-picture", VantorPicture::ScatteringDiagram},
                           {"answers-picture", VantorPicture::NetworkAnswers},
                           {"significance-picture", VantorPicture::Significance}};
    for (const Picture& p : all) {
      if (!job_.has(p.option)) continue;
      std::string problem;
      const int output = static_cast<int>(job_.integer("picture-output").value_or(1)) - 1;
      if (!saveVantorPicture(session, p.kind, output, job_.text(p.option), problem))
        return refusedFlag(job_.text(p.option) + ": " + problem);
      written(job_.text(p.option));
    }
    return true;
  }

  QJsonObject boxcountingSummary(const significance::BoxCounter& r) const {
    QJsonArray outputs;
    for (std::int32_t j = 0; j < r.outputCount(); ++j) {
      QJsonObject significance;
      for (std::int32_t i = 0; i < r.inputCount(); ++i)
        significance.insert(QString::fromStdString(r.inputNames()[static_cast<std::size_t>(i)]),
                            r.significance()(j, i));
      outputs.append(QJsonObject{
          {"name", QString::fromStdString(r.outputNames()[static_cast<std::size_t>(j)])},
          {"predictability", r.predictabilityMidpoint(j)},
          {"predictability half width", r.predictabilityHalfWidth(j)},
          {"significance", significance},
      });
    }
    return QJsonObject{{"outputs", outputs}};
  }

  QJsonObject networkSummary(VantorSession& session) const {
    QJsonObject net;
    if (!session.networkExists()) return net;
    const Perceptron& p = *session.network();
    QJsonArray layers;
    for (int l = 0; l < p.layerCount; ++l) layers.append(p.neuronCounts[l]);
    net.insert("inputs", p.inputs);
    net.insert("layers", layers);
    net.insert("weights", static_cast<double>(p.WeightCount()));
    const TrainingSnapshot s = session.run().Snapshot();
    net.insert("epochs", s.epochCounter);
    const std::vector<float> training = session.run().TrainingHistory();
    const std::vector<float> test = session.run().TestHistory();
    if (session.run().ErrorsExist()) {
      net.insert("final training error", static_cast<double>(s.trainingError));
      net.insert("final test error", static_cast<double>(s.testError));
      if (!training.empty())
        net.insert("best training error",
                   static_cast<double>(*std::min_element(training.begin(), training.end())));
      if (!test.empty() && s.testCount > 0)
        net.insert("best test error", static_cast<double>(*std::min_element(test.begin(), test.end())));
    }
    const BestNetworkInfo best = session.run().bestNetwork();
    if (best.kept)
      net.insert("best network", QJsonObject{{"epoch", best.epoch},
                                             {"training error", static_cast<double>(best.trainingError)},
                                             {"test error", static_cast<double>(best.testError)},
                                             {"restored", restoredBest_}});
    return net;
  }

  QJsonObject dataSetSummary(VantorSession& session) const {
    const TrainingSnapshot s = session.run().Snapshot();
    QJsonArray inputs, outputs;
    for (const std::string& l : session.InputLines()) inputs.append(QString::fromStdString(l));
    for (const std::string& l : session.OutputLines()) outputs.append(QString::fromStdString(l));
    return QJsonObject{{"inputs", inputs},
                       {"outputs", outputs},
                       {"training examples", s.trainingCount},
                       {"test examples", s.testCount}};
  }

  void written(const std::string& file) { report_.filesWritten.push_back(file); }
  void timing(const char* stage, Clock::time_point start) { timings_.insert(stage, secondsSince(start)); }
  int refused(const std::string& why) {
    refusedFlag(why);
    return kExitRefused;
  }
  bool refusedFlag(const std::string& why = {}) {
    if (!why.empty()) err_ << "lumivane-batch: refused: " << why << "\n";
    return false;
  }

  const Job& job_;
  std::ostream& err_;
  RunReport& report_;
  bool quiet_;
  BatchPrompter prompter_;
  QJsonObject summary_;
  bool restoredBest_ = false;
  QJsonObject timings_;
};

}  // namespace

int runVantor(const Job& job, std::ostream& err, RunReport& report) {
  return VantorRun(job, err, report).run();
}

}  // namespace batch
