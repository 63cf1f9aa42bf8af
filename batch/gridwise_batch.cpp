// The Gridwise analysis of a batch run: the session's commands in the windows' order, each
// dialog answered from the job through the batch prompter.

#include <QJsonArray>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "batch/batch_choices.h"
#include "batch/batch_environment.h"
#include "batch/batch_pictures.h"
#include "batch/batch_run.h"
#include "kohonen/workbench/gridwise_session.h"
#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/selector_request.h"

namespace batch {
namespace {

using platform::IDCANCEL;
using platform::IDOK;
using Clock = std::chrono::steady_clock;

QJsonArray texts(const std::vector<std::string>& lines) {
  QJsonArray a;
  for (const std::string& l : lines) a.append(QString::fromStdString(l));
  return a;
}

class GridwiseRun {
 public:
  GridwiseRun(const Job& job, std::ostream& err, RunReport& report)
      : job_(job), err_(err), report_(report), quiet_(job.flag("quiet")), prompter_(err, quiet_) {}

  int run() {
    platform::PrompterScope scope(prompter_);
    const auto start = Clock::now();
    BatchHost env(Tool::Gridwise, err_, quiet_);
    int code = kExitRefused;
    if (!env.entered()) {
      err_ << "lumivane-batch: refused: the host was refused\n";
    } else {
      RawTable table;
      if (!env.readData(job_, table)) {
        err_ << "lumivane-batch: refused: the data source could not be read\n";
      } else {
        timing("read", start);
        summary_.insert("table", QJsonObject{{"rows", table.rowCount}, {"columns", table.columnCount()}});
        GridwiseSession session(table, env.connection());
        code = analyse(env, session);
        summary_.insert("patterns", texts(session.patternLines()));
        summary_.insert("principal components", texts(session.componentLines()));
        summary_.insert("map", mapSummary(session));
      }
    }
    summary_.insert("messages", texts(prompter_.refusals()));
    timing("total", start);
    summary_.insert("timings", timings_);
    report_.summary = summary_;
    return code;
  }

 private:
  int analyse(BatchHost& env, GridwiseSession& session) {
    // The sheet opens with the stored preferences; the options given replace single values, as
    // the preferences sheet's OK would. They are not written back to the store.
    session.openSheet();
    TrainingSettings settings = session.trainingSettings();
    if (auto v = job_.integer("iterations")) settings.iterations = static_cast<std::int32_t>(*v);
    if (auto v = job_.number("stiffness")) settings.initialStiffness = *v;
    if (auto v = job_.number("delta")) settings.delta = *v;
    if (auto v = job_.number("decay")) settings.decayFactor = *v;
    session.applyPreferences(settings, session.palette());
    summary_.insert("training settings", QJsonObject{{"iterations", settings.iterations},
                                                     {"initial stiffness", settings.initialStiffness},
                                                     {"delta", settings.delta},
                                                     {"decay factor", settings.decayFactor}});

    if (job_.has("load-project")) {
      prompter_.queueFile(job_.text("load-project"));
      if (!session.loadProject()) return refused("the project could not be loaded");
    }
    if (job_.has("select") && !createPatterns(session)) return kExitRefused;
    if ((job_.has("map-rows") || job_.has("map-columns") || job_.has("select")) && !createNetwork(session))
      return kExitRefused;
    if (job_.has("save-project")) {
      prompter_.queueFile(job_.text("save-project"));
      if (!session.saveProject()) return refused("the project could not be saved");
      written(job_.text("save-project"));
    }
    if (job_.has("output") && !output(env, session)) return kExitRefused;
    if (job_.has("pc-picture")) {
      std::string problem;
      if (curve_.empty()) return refused("--pc-picture: no principal components were analysed");
      if (!savePcCurvePicture(curve_, selectedEntry_, job_.text("pc-picture"), problem))
        return refused(job_.text("pc-picture") + ": " + problem);
      written(job_.text("pc-picture"));
    }
    for (const std::string& m : job_.list("map"))
      if (!map(session, parseMap(m))) return kExitRefused;
    return kExitSuccess;
  }

  bool createPatterns(GridwiseSession& session) {
    const std::vector<std::string> names = job_.list("select");
    const NormalisationKind kind = parseKind("norm", job_.text("norm", "none"));
    const ComponentChoice components = parseComponents(job_.text("pcs", "none"));
    std::string problem;
    prompter_.queueDialog([&](platform::ModalDialog& d) {
      auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
      std::vector<std::int32_t> columns;
      for (const std::string& n : names) {
        const auto it = std::find(r.columnNames().begin(), r.columnNames().end(), n);
        if (it == r.columnNames().end()) {
          problem = "the table has no column named \"" + n + "\"";
          return IDCANCEL;
        }
        columns.push_back(static_cast<std::int32_t>(it - r.columnNames().begin()));
      }
      r.deselectAll();
      r.select(columns);
      if (kind != NormalisationKind::None) {
        prompter_.queueNestedDialog([kind](platform::ModalDialog& nd) {
          auto& n = dynamic_cast<NormalisationRequest&>(nd);
          for (std::size_t b = 0; b < NormalisationRequest::kButtonKinds.size(); ++b)
            if (NormalisationRequest::kButtonKinds[b] == kind) n.button = static_cast<int>(b);
          return IDOK;
        });
        r.normaliseCommand();
      }
      r.setExtractComponents(components.extract);
      return r.canAccept() ? IDOK : IDCANCEL;
    });
    if (components.extract)
      prompter_.queueDialog([&](platform::ModalDialog& d) {
        auto& r = dynamic_cast<PcAnalyzerRequest&>(d);
        if (components.count > r.componentCount()) {
          problem = "--pcs " + std::to_string(components.count) + ": the patterns have only " +
                    std::to_string(r.componentCount()) + " components";
          return IDCANCEL;
        }
        if (components.count > 0) r.selectedEntry = components.count - 1;
        curve_ = r.cumulative();
        selectedEntry_ = r.selectedEntry;
        const std::int32_t kept = r.componentsToKeep();
        if (!curve_.empty() && curve_.back() > 0)
          summary_.insert("retained fraction", curve_[static_cast<std::size_t>(kept - 1)] / curve_.back());
        summary_.insert("components kept", kept);
        return IDOK;
      });
    const auto t = Clock::now();
    const bool done = session.createPatterns();
    prompter_.clearQueues();
    if (!problem.empty()) return refusedFlag(problem);
    if (!done) return refusedFlag("the patterns were not created");
    // A Cancel in the "PC Analyzer" cannot happen: its one button keeps the entry selected.
    timing("patterns", t);
    return true;
  }

  bool createNetwork(GridwiseSession& session) {
    std::string problem;
    prompter_.queueDialog([&](platform::ModalDialog& d) {
      auto& r = dynamic_cast<NetworkSizeRequest&>(d);
      if (auto v = job_.integer("map-rows")) r.rows = static_cast<std::int32_t>(*v);
      if (auto v = job_.integer("map-columns")) r.columns = static_cast<std::int32_t>(*v);
      if (auto p = r.problem()) {
        problem = *p;
        return IDCANCEL;
      }
      return IDOK;
    });
    const auto t = Clock::now();
    const bool done = session.createNetwork();
    prompter_.clearQueues();
    if (!problem.empty()) return refusedFlag(problem);
    if (interruptRequested().load()) return refusedFlag("interrupted; nothing more was written");
    if (!done || !session.hasNet()) return refusedFlag("the map was not created");
    timing("training", t);
    return true;
  }

  bool output(BatchHost& env, GridwiseSession& session) {
    const SheetTarget target = parseSheetTarget(job_.text("output"));
    env.activateTarget(target);
    session.initOutputPlace();
    session.setFirstCell(target.cell);
    session.setOutputIds(job_.flag("output-ids"));
    if (session.output() != OutputWriter::Outcome::Written) return refusedFlag("the cells were not written");
    for (const std::string& f : env.saveTarget(target)) written(f);
    return true;
  }

  bool map(GridwiseSession& session, const MapChoice& choice) {
    std::string problem;
    prompter_.queueDialog([&](platform::ModalDialog& d) {
      auto& r = dynamic_cast<NewMapRequest&>(d);
      const auto it = std::find(r.columnNames().begin(), r.columnNames().end(), choice.feature);
      if (it == r.columnNames().end()) {
        problem = "the table has no column named \"" + choice.feature + "\"";
        return IDCANCEL;
      }
      r.setMode(choice.existence ? MapMode::Existence : MapMode::Average);
      r.featureColumn = static_cast<std::int32_t>(it - r.columnNames().begin());
      if (r.colourCountEnabled()) r.colourCount = choice.colours;
      return r.valid() ? IDOK : IDCANCEL;
    });
    const std::optional<MapPicture> picture = session.createNewMap();
    prompter_.clearQueues();
    if (!problem.empty()) return refusedFlag(problem);
    if (!picture) return refusedFlag("the map of " + choice.feature + " was not made");
    std::string failure;
    MapPictureOptions options;
    options.names = job_.flag("map-names");
    options.uMatrix = job_.flag("map-umatrix");
    options.plain = job_.flag("map-plain");
    options.legend = job_.flag("map-legend");
    if (!saveMapPicture(*picture, options, choice.file, failure))
      return refusedFlag(choice.file + ": " + failure);
    written(choice.file);
    return true;
  }

  // The map's size and its quantisation: the mean distance of every pattern from its cell's
  // weights, summed in row order.
  QJsonObject mapSummary(const GridwiseSession& session) const {
    QJsonObject m;
    if (!session.hasNet()) return m;
    const KohonenNet& net = *session.net();
    m.insert("rows", net.rows());
    m.insert("columns", net.columns());
    m.insert("passes", session.lastTraining().passes);
    m.insert("cancelled", session.lastTraining().cancelled);
    const RealMatrix& w = session.dataSet().workingMatrix();
    const CellIndex& index = session.cellIndex();
    if (index.dataRowCount() == w.Rows() && w.Rows() > 0) {
      double total = 0.0;
      std::int32_t used = 0;
      for (std::int32_t i = 0; i < w.Rows(); ++i) {
        const CellPos cell = index.cellOf(i);
        const std::vector<double> weights = net.cellWeights(cell.row, cell.column);
        double squares = 0.0;
        for (std::int32_t k = 0; k < w.Cols() && k < static_cast<std::int32_t>(weights.size()); ++k) {
          const double d = w(i, k) - weights[static_cast<std::size_t>(k)];
          squares += d * d;
        }
        total += std::sqrt(squares);
      }
      for (std::int32_t r = 0; r < net.rows(); ++r)
        for (std::int32_t c = 0; c < net.columns(); ++c) used += index.count(r, c) > 0;
      m.insert("quantisation error", total / w.Rows());
      m.insert("cells used", used);
    }
    // With the engine's distance (root mean square over the components), as the Project page
    // shows it.
    if (const std::optional<MapQuality>& q = session.mapQuality())
      m.insert("map quality", QJsonObject{{"quantisation error", q->quantisationError},
                                          {"topographic error", q->topographicError}});
    return m;
  }

  void written(const std::string& file) { report_.filesWritten.push_back(file); }
  void timing(const char* stage, Clock::time_point start) { timings_.insert(stage, secondsSince(start)); }
  int refused(const std::string& why) {
    refusedFlag(why);
    return kExitRefused;
  }
  bool refusedFlag(const std::string& why) {
    err_ << "lumivane-batch: refused: " << why << "\n";
    return false;
  }

  const Job& job_;
  std::ostream& err_;
  RunReport& report_;
  bool quiet_;
  BatchPrompter prompter_;
  QJsonObject summary_;
  QJsonObject timings_;
  std::vector<double> curve_;
  std::optional<std::int32_t> selectedEntry_;
};

}  // namespace

int runGridwise(const Job& job, std::ostream& err, RunReport& report) {
  return GridwiseRun(job, err, report).run();
}

}  // namespace batch
