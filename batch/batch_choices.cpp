#include "batch/batch_choices.h"

#include <cctype>
#include <sstream>

namespace batch {
namespace {

struct KindName {
  const char* name;
  NormalisationKind kind;
};
constexpr KindName kKinds[] = {{"none", NormalisationKind::None},
                               {"meanvar", NormalisationKind::MeanVariance},
                               {"minmax", NormalisationKind::MinMax},
                               {"tanh", NormalisationKind::Tanh}};

struct ModeName {
  const char* name;
  TestSetMode mode;
};
constexpr ModeName kModes[] = {{"random", TestSetMode::RandomTestSet},
                               {"last", TestSetMode::LastExamples},
                               {"block", TestSetMode::BlockOfExamples},
                               {"random-last", TestSetMode::RandomAndLast}};

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

bool allDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

void requirePositive(const Job& job, const char* name, long long low, long long high) {
  if (const auto v = job.integer(name); v && (*v < low || *v > high))
    throw UsageError("--" + std::string(name) + " " + std::to_string(*v) + " is outside " +
                     std::to_string(low) + " … " + std::to_string(high));
}

}  // namespace

NormalisationKind parseKind(const std::string& option, const std::string& text) {
  for (const KindName& k : kKinds)
    if (text == k.name) return k.kind;
  throw UsageError("--" + option + " " + text + ": expected none, meanvar, minmax or tanh");
}

const char* kindName(NormalisationKind kind) {
  for (const KindName& k : kKinds)
    if (k.kind == kind) return k.name;
  return "none";
}

TestSetMode parseTestSetMode(const std::string& text) {
  for (const ModeName& m : kModes)
    if (text == m.name) return m.mode;
  throw UsageError("--test-set " + text + ": expected random, last, block or random-last");
}

std::vector<LayerChoice> parseNetwork(const std::string& text) {
  std::vector<LayerChoice> layers;
  for (const std::string& part : split(text, ',')) {
    // neurons, then one function letter, then one order digit: "12t2".
    std::size_t i = 0;
    while (i < part.size() && std::isdigit(static_cast<unsigned char>(part[i]))) ++i;
    const bool shape = i > 0 && i <= 6 && part.size() == i + 2 && (part[i] == 't' || part[i] == 'l') &&
                       part[i + 1] >= '1' && part[i + 1] <= '3';
    if (!shape)
      throw UsageError("--net " + text + ": layer '" + part + "' is not NEURONS{t|l}ORDER, e.g. 8t1");
    LayerChoice layer{std::stoi(part.substr(0, i)), part[i], part[i + 1] - '0'};
    if (layer.neurons < 1) throw UsageError("--net " + text + ": a layer needs at least one neuron");
    layers.push_back(layer);
  }
  if (layers.empty() || layers.size() > 5) throw UsageError("--net " + text + ": 1 to 5 layers");
  return layers;
}

MapChoice parseMap(const std::string& text) {
  // The feature may itself hold colons; the mode is the second field from the end (existence)
  // or the third (average).
  const std::vector<std::string> f = split(text, ':');
  MapChoice m;
  const std::string bad = "--map " + text + ": expected FEATURE:average:K:FILE or FEATURE:existence:FILE";
  if (f.size() >= 3 && f[f.size() - 2] == "existence") {
    m.existence = true;
    m.file = f.back();
    for (std::size_t i = 0; i + 2 < f.size(); ++i) m.feature += (i ? ":" : "") + f[i];
  } else if (f.size() >= 4 && f[f.size() - 3] == "average" && allDigits(f[f.size() - 2])) {
    m.colours = std::stoi(f[f.size() - 2]);
    m.file = f.back();
    for (std::size_t i = 0; i + 3 < f.size(); ++i) m.feature += (i ? ":" : "") + f[i];
    if (m.colours < 2 || m.colours > 10) throw UsageError("--map " + text + ": 2 to 10 colours");
  } else {
    throw UsageError(bad);
  }
  if (m.feature.empty() || m.file.empty()) throw UsageError(bad);
  return m;
}

ComponentChoice parseComponents(const std::string& text) {
  if (text == "none") return {};
  if (text == "90%") return {true, 0};
  if (allDigits(text) && text.size() < 6 && std::stoi(text) >= 1) return {true, std::stoi(text)};
  throw UsageError("--pcs " + text + ": expected a count, 90% or none");
}

bool pictureFile(const std::string& path) {
  std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".png" || ext == ".svg";
}

void checkJob(const Job& job) {
  for (const char* option :
       {"errors-picture", "scatter-picture", "answers-picture", "significance-picture", "pc-picture"})
    if (job.has(option) && !pictureFile(job.text(option)))
      throw UsageError("--" + std::string(option) + " " + job.text(option) +
                       ": a picture file ends in .png or .svg");
  if (!job.has("data")) throw UsageError("--data FILE is required");
  parseDataFile(job.text("data"));
  if (job.has("output")) parseSheetTarget(job.text("output"));
  requirePositive(job, "first-row", 1, 1 << 30);
  requirePositive(job, "last-row", 1, 1 << 30);
  if (job.command == Command::Vantor) {
    if (job.has("input-norm")) parseKind("input-norm", job.text("input-norm"));
    if (job.has("output-norm")) parseKind("output-norm", job.text("output-norm"));
    if (job.has("test-set")) parseTestSetMode(job.text("test-set"));
    if (job.has("net")) parseNetwork(job.text("net"));
    requirePositive(job, "epochs", 1, 1LL << 31);
    requirePositive(job, "max-epochs", 0, (1LL << 31) - 1);
    requirePositive(job, "test-count", 0, 1LL << 31);
    requirePositive(job, "block-start", 0, 1LL << 31);
    requirePositive(job, "last-count", 0, 1LL << 31);
    requirePositive(job, "picture-output", 1, 1LL << 31);
    if (job.has("epochs") && (job.has("max-epochs") || job.has("train-error") || job.has("test-error")))
      throw UsageError("--epochs cannot be combined with --max-epochs, --train-error or --test-error");
    if (job.has("input-norm") && !job.has("inputs")) throw UsageError("--input-norm needs --inputs");
    if (job.has("output-norm") && !job.has("outputs")) throw UsageError("--output-norm needs --outputs");
    if (job.has("all-data") && !job.has("output")) throw UsageError("--all-data needs --output");
  } else {
    if (job.has("norm")) parseKind("norm", job.text("norm"));
    if (job.has("pcs")) parseComponents(job.text("pcs"));
    for (const std::string& m : job.list("map"))
      if (!pictureFile(parseMap(m).file))
        throw UsageError("--map " + m + ": a picture file ends in .png or .svg");
    requirePositive(job, "map-rows", 1, 255);
    requirePositive(job, "map-columns", 1, 255);
    requirePositive(job, "iterations", 1, 1000000);
    if ((job.has("norm") || job.has("pcs")) && !job.has("select"))
      throw UsageError("--norm and --pcs need --select");
    if (job.has("output-ids") && !job.has("output")) throw UsageError("--output-ids needs --output");
    if (job.flag("map-umatrix") && job.flag("map-plain"))
      throw UsageError("--map-umatrix and --map-plain exclude each other");
    if (job.has("pc-picture") && !job.has("select"))
      throw UsageError("--pc-picture needs --select and --pcs");
  }
}

}  // namespace batch
