#include "batch/batch_job.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

namespace batch {
namespace {

using K = ValueKind;

// Options both commands share: the data source, the project files, the output, the summary.
std::vector<OptionSpec> commonHead(bool rowIds) {
  std::vector<OptionSpec> o = {
      {"data", K::Text, "FILE[:SHEET]",
       "workbook (.xlsx, .ods, .csv) and sheet to read (default: its active sheet)"},
      {"calc", K::Switch, "", "take the data from and write the output to the running LibreOffice Calc"},
      {"columns", K::Text, "LIST",
       "columns of the data source, as in the dialog: \"A-E,G\" (default: every used column)"},
      {"first-row", K::Integer, "N", "first sheet row of the data source (default: the first used row)"},
      {"last-row", K::Integer, "N", "last sheet row (default: the last used row)"},
      {"no-names", K::Switch, "", "the first row holds data, not column names"},
  };
  if (rowIds) o.push_back({"row-ids", K::Switch, "", "the first listed column holds the row IDs"});
  o.push_back({"load-project", K::Text, "FILE", "start from a saved project instead of choosing columns"});
  return o;
}

std::vector<OptionSpec> commonTail() {
  return {
      {"json", K::Text, "FILE|-", "machine-readable summary of the run (\"-\": standard output)"},
      {"quiet", K::Switch, "", "no progress on standard error"},
      {"job", K::Text, "FILE.json", "read the choices from a job file (options given here override it)",
       false},
      {"write-job", K::Text, "FILE.json", "save the choices of this run as a job file", false},
  };
}

std::vector<OptionSpec> vantorSpecs() {
  std::vector<OptionSpec> o = commonHead(false);
  const std::vector<OptionSpec> own = {
      {"inputs", K::List, "NAMES", "input columns, by name"},
      {"input-norm", K::Text, "KIND", "normalisation of the inputs: none, meanvar, minmax ([-1,+1]) or tanh"},
      {"outputs", K::List, "NAMES", "output columns, by name"},
      {"output-norm", K::Text, "KIND", "normalisation of the outputs (as --input-norm)"},
      {"boxcount", K::Switch, "", "estimate predictability and input significance by boxcounting"},
      {"test-set", K::Text, "MODE", "test-set layout: random, last, block or random-last"},
      {"test-count", K::Integer, "N", "number of test examples"},
      {"block-start", K::Integer, "N", "first example of the block (layout block)"},
      {"last-count", K::Integer, "N", "examples at the end that always test (layout random-last)"},
      {"net", K::Text, "LAYERS",
       "layers from the first hidden to the output: neurons, function (t, l), order (1-3), e.g. 8t1,3l1"},
      {"epochs", K::Integer, "N", "train exactly N epochs"},
      {"max-epochs", K::Integer, "N", "stopping criteria: stop once the epoch counter passes N"},
      {"train-error", K::Number, "E", "stopping criteria: stop once the training error is below E"},
      {"test-error", K::Number, "E", "stopping criteria: stop once the test error is below E"},
      {"keep-best", K::Switch, "",
       "after training, go back to the network of the lowest test error (training error without a test set)"},
      {"initial-step", K::Number, "X", "Rprop initial step"},
      {"minimal-step", K::Number, "X", "Rprop minimal step"},
      {"maximal-step", K::Number, "X", "Rprop maximal step"},
      {"decrease", K::Number, "X", "Rprop Nu (-)"},
      {"increase", K::Number, "X", "Rprop Nu (+)"},
      {"threads", K::Integer, "N", "threads for kestrel's epoch (default: the machine's cores)"},
      {"save-net", K::Text, "FILE.mlp", "save the trained network"},
      {"save-project", K::Text, "FILE.vtp", "save the project"},
      {"output", K::Text, "FILE[:SHEET]!CELL",
       "write the network's answers from CELL on and save the workbook"},
      {"all-data", K::Switch, "", "the output holds inputs and outputs before the answers"},
      {"errors", K::Text, "FILE.csv", "the whole training and test error history"},
      {"errors-picture", K::Text, "FILE.png|svg", "picture of the error history"},
      {"scatter-picture", K::Text, "FILE.png|svg", "picture of the scattering diagram"},
      {"answers-picture", K::Text, "FILE.png|svg", "picture of the network answers"},
      {"significance-picture", K::Text, "FILE.png|svg", "picture of the boxcounting results"},
      {"picture-output", K::Integer, "N",
       "the output (from 1) the scattering, answers and significance pictures show"},
  };
  o.insert(o.end(), own.begin(), own.end());
  const auto tail = commonTail();
  o.insert(o.end(), tail.begin(), tail.end());
  return o;
}

std::vector<OptionSpec> gridwiseSpecs() {
  std::vector<OptionSpec> o = commonHead(true);
  const std::vector<OptionSpec> own = {
      {"select", K::List, "NAMES", "columns of the patterns, by name"},
      {"norm", K::Text, "KIND", "normalisation of every column: none, meanvar, minmax ([-1,+1]) or tanh"},
      {"pcs", K::Text, "N|90%|none",
       "principal components: a count, the 90 % default, or none (the default)"},
      {"map-rows", K::Integer, "N", "rows of the map (default 10)"},
      {"map-columns", K::Integer, "N", "columns of the map (default 10)"},
      {"iterations", K::Integer, "N", "passes over the data (default: the preferences)"},
      {"stiffness", K::Number, "X", "initial stiffness (default: the preferences)"},
      {"delta", K::Number, "X", "learning rate (default: the preferences)"},
      {"decay", K::Number, "X", "stiffness decay per pass (default: the preferences)"},
      {"save-project", K::Text, "FILE.gwp", "save the project"},
      {"output", K::Text, "FILE[:SHEET]!CELL",
       "write the cell of every row from CELL on and save the workbook"},
      {"output-ids", K::Switch, "", "the output starts with the row IDs"},
      {"map", K::Repeated, "FEATURE:average:K:FILE|FEATURE:existence:FILE",
       "picture of a map coloured by a feature (repeatable)"},
      {"map-names", K::Switch, "", "maps show the cells' names"},
      {"map-umatrix", K::Switch, "", "maps show U-matrix bands instead of cell sizes"},
      {"map-plain", K::Switch, "", "maps show neither cell sizes nor U-matrix bands"},
      {"map-legend", K::Switch, "", "maps show the legend"},
      {"pc-picture", K::Text, "FILE.png|svg", "picture of the principal-component curve"},
  };
  o.insert(o.end(), own.begin(), own.end());
  const auto tail = commonTail();
  o.insert(o.end(), tail.begin(), tail.end());
  return o;
}

const OptionSpec* findSpec(Command command, const std::string& name) {
  for (const OptionSpec& s : optionSpecs(command))
    if (name == s.name) return &s;
  return nullptr;
}

QString qs(const std::string& s) {
  return QString::fromStdString(s);
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, ','))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

// Checks one command-line value against its kind and turns it into the job's JSON value.
QJsonValue toJson(const OptionSpec& spec, const std::string& value) {
  const std::string where = "--" + std::string(spec.name) + " " + value;
  switch (spec.kind) {
    case K::Text:
      if (value.empty()) throw UsageError("empty value for --" + std::string(spec.name));
      return qs(value);
    case K::Integer: {
      long long v = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
      if (ec != std::errc() || end != value.data() + value.size())
        throw UsageError("not a whole number: " + where);
      // JSON numbers are doubles: beyond 2^53 a whole number would not come back as written.
      if (std::llabs(v) > (1LL << 53)) throw UsageError("number too large: " + where);
      return static_cast<double>(v);
    }
    case K::Number: {
      double v = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
      if (ec != std::errc() || end != value.data() + value.size() || !std::isfinite(v))
        throw UsageError("not a number: " + where);
      return v;
    }
    case K::Switch:
      return true;
    case K::List: {
      QJsonArray a;
      for (const std::string& p : splitList(value)) a.append(qs(p));
      if (a.isEmpty()) throw UsageError("empty list: " + where);
      return a;
    }
    case K::Repeated:
      if (value.empty()) throw UsageError("empty value for --" + std::string(spec.name));
      return qs(value);
  }
  return {};
}

// Checks a job file's value against the option's kind.
bool fitsKind(const OptionSpec& spec, const QJsonValue& v) {
  switch (spec.kind) {
    case K::Text:
      return v.isString() && !v.toString().isEmpty();
    case K::Integer:
      return v.isDouble() && std::floor(v.toDouble()) == v.toDouble() &&
             std::fabs(v.toDouble()) <= 9.007199254740992e15;
    case K::Number:
      return v.isDouble();
    case K::Switch:
      return v.isBool();
    case K::List:
    case K::Repeated: {
      if (!v.isArray() || v.toArray().isEmpty()) return false;
      for (const QJsonValue& e : v.toArray())
        if (!e.isString() || e.toString().isEmpty()) return false;
      return true;
    }
  }
  return false;
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("cannot read the job file " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

const std::vector<OptionSpec>& optionSpecs(Command command) {
  static const std::vector<OptionSpec> vantor = vantorSpecs();
  static const std::vector<OptionSpec> gridwise = gridwiseSpecs();
  return command == Command::Vantor ? vantor : gridwise;
}

const char* commandName(Command command) {
  return command == Command::Vantor ? "vantor" : "gridwise";
}

std::string Job::text(const char* name, const std::string& fallback) const {
  const QJsonValue v = options.value(QLatin1String(name));
  return v.isString() ? v.toString().toStdString() : fallback;
}

std::optional<long long> Job::integer(const char* name) const {
  const QJsonValue v = options.value(QLatin1String(name));
  if (!v.isDouble()) return std::nullopt;
  return static_cast<long long>(v.toDouble());
}

std::optional<double> Job::number(const char* name) const {
  const QJsonValue v = options.value(QLatin1String(name));
  if (!v.isDouble()) return std::nullopt;
  return v.toDouble();
}

bool Job::flag(const char* name) const {
  return options.value(QLatin1String(name)).toBool(false);
}

std::vector<std::string> Job::list(const char* name) const {
  std::vector<std::string> result;
  for (const QJsonValue& e : options.value(QLatin1String(name)).toArray())
    result.push_back(e.toString().toStdString());
  return result;
}

std::string usageLine() {
  return "usage: lumivane-batch vantor|gridwise [--job FILE.json] [options]  (lumivane-batch --help)";
}

std::string helpText(std::optional<Command> command) {
  std::ostringstream out;
  out << usageLine() << "\n";
  for (Command c : {Command::Vantor, Command::Gridwise}) {
    if (command && *command != c) continue;
    out << "\nlumivane-batch " << commandName(c) << " options:\n";
    for (const OptionSpec& s : optionSpecs(c)) {
      std::string left = "  --" + std::string(s.name);
      if (*s.value) left += " " + std::string(s.value);
      out << left;
      if (left.size() < 34)
        out << std::string(34 - left.size(), ' ');
      else
        out << "\n" << std::string(34, ' ');
      out << s.help << "\n";
    }
  }
  return out.str();
}

Invocation parseCommandLine(int argc, char** argv) {
  Invocation inv;
  if (argc < 2) throw UsageError("no command given");
  const std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    inv.help = true;
    return inv;
  }
  if (first == "vantor")
    inv.job.command = Command::Vantor;
  else if (first == "gridwise")
    inv.job.command = Command::Gridwise;
  else
    throw UsageError("unknown command '" + first + "'");

  QJsonObject given;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      inv.help = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) throw UsageError("unexpected argument '" + arg + "'");
    std::string name = arg.substr(2), value;
    bool inlineValue = false;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    const OptionSpec* spec = findSpec(inv.job.command, name);
    if (!spec) throw UsageError("unknown option '--" + name + "' for " + commandName(inv.job.command));
    if (spec->kind == K::Switch) {
      if (inlineValue) throw UsageError("--" + name + " takes no value");
    } else if (!inlineValue) {
      if (i + 1 >= argc) throw UsageError("missing value for --" + name);
      value = argv[++i];
    }
    if (name == "job") {
      inv.jobFile = value;
      continue;
    }
    if (name == "write-job") {
      inv.writeJobFile = value;
      continue;
    }
    const QJsonValue v = toJson(*spec, value);
    const QString key = QLatin1String(spec->name);
    if (spec->kind == K::Repeated) {
      QJsonArray a = given.value(key).toArray();
      a.append(v);
      given.insert(key, a);
    } else {
      if (given.contains(key)) throw UsageError("--" + name + " given twice");
      given.insert(key, v);
    }
  }

  if (!inv.jobFile.empty()) {
    Job fromFile = parseJobJson(readWholeFile(inv.jobFile), inv.jobFile);
    if (fromFile.command != inv.job.command)
      throw UsageError("the job file " + inv.jobFile + " is a " + commandName(fromFile.command) + " job");
    inv.job.options = fromFile.options;
  }
  for (auto it = given.begin(); it != given.end(); ++it) inv.job.options.insert(it.key(), it.value());
  return inv;
}

std::string jobJson(const Job& job) {
  QJsonObject root;
  root.insert("command", QLatin1String(commandName(job.command)));
  root.insert("options", job.options);
  return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

Job parseJobJson(const std::string& text, const std::string& fileName) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  if (doc.isNull())
    throw UsageError("the job file " + fileName + " is not valid JSON: " + error.errorString().toStdString() +
                     " at offset " + std::to_string(error.offset));
  if (!doc.isObject()) throw UsageError("the job file " + fileName + " does not hold a JSON object");
  const QJsonObject root = doc.object();
  Job job;
  const QString command = root.value("command").toString();
  if (command == "vantor")
    job.command = Command::Vantor;
  else if (command == "gridwise")
    job.command = Command::Gridwise;
  else
    throw UsageError("the job file " + fileName + " names no command (\"vantor\" or \"gridwise\")");
  for (auto it = root.begin(); it != root.end(); ++it)
    if (it.key() != "command" && it.key() != "options")
      throw UsageError("unknown field '" + it.key().toStdString() + "' in the job file " + fileName);
  const QJsonObject options = root.value("options").toObject();
  for (auto it = options.begin(); it != options.end(); ++it) {
    const std::string name = it.key().toStdString();
    const OptionSpec* spec = findSpec(job.command, name);
    if (!spec || !spec->stored) throw UsageError("unknown option '" + name + "' in the job file " + fileName);
    if (!fitsKind(*spec, it.value()))
      throw UsageError("bad value of '" + name + "' in the job file " + fileName);
  }
  job.options = options;
  return job;
}

SheetTarget parseSheetTarget(const std::string& text) {
  const auto bang = text.rfind('!');
  if (bang == std::string::npos || bang == 0 || bang + 1 == text.size())
    throw UsageError("--output " + text + ": expected FILE[:SHEET]!CELL");
  SheetTarget t;
  t.cell = text.substr(bang + 1);
  const DataFile f = parseDataFile(text.substr(0, bang));
  t.file = f.file;
  t.sheet = f.sheet;
  return t;
}

DataFile parseDataFile(const std::string& text) {
  DataFile f{text, {}};
  // A colon after the last slash separates the sheet; a colon inside a folder name does not.
  const auto colon = text.rfind(':');
  const auto slash = text.rfind('/');
  if (colon != std::string::npos && (slash == std::string::npos || colon > slash)) {
    f.file = text.substr(0, colon);
    f.sheet = text.substr(colon + 1);
  }
  if (f.file.empty()) throw UsageError("no file name in '" + text + "'");
  return f;
}

}  // namespace batch
