#pragma once

#include <QJsonObject>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The choices of one batch run: the command ("vantor" or "gridwise") and its options, kept as a
// JSON object whose keys are the long option names without their dashes. The command line and a
// job file fill the same object, so `--write-job` saves exactly what a run used and `--job`
// brings it back; options on the command line override those of the job file.
namespace batch {

// A bad argument: the run ends with exit code 2 and the usage line. what() names the argument.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Command { Vantor, Gridwise };

// How an option's value is written and checked.
enum class ValueKind {
  Text,     // any non-empty text
  Integer,  // a whole number (stored as a JSON number)
  Number,   // a finite decimal number
  Switch,   // no value on the command line; true in the job
  List,     // comma-separated names on the command line; a JSON array of texts in the job
  Repeated  // may be given several times; a JSON array of texts in the job
};

struct OptionSpec {
  const char* name;  // without the leading "--"
  ValueKind kind;
  const char* value;  // the value's placeholder in the help text
  const char* help;
  bool stored = true;  // part of the job (false for --job, --write-job)
};

// Every option of a command, in the order the help text lists them.
const std::vector<OptionSpec>& optionSpecs(Command command);
const char* commandName(Command command);

struct Job {
  Command command = Command::Vantor;
  QJsonObject options;  // only the stored options

  bool has(const char* name) const { return options.contains(QLatin1String(name)); }
  std::string text(const char* name, const std::string& fallback = {}) const;
  std::optional<long long> integer(const char* name) const;
  std::optional<double> number(const char* name) const;
  bool flag(const char* name) const;
  std::vector<std::string> list(const char* name) const;
};

// What the command line asked for besides the job's choices.
struct Invocation {
  Job job;
  std::string jobFile;       // --job: read before the command line's options
  std::string writeJobFile;  // --write-job
  bool help = false;
};

// Parses argv[1..]: the command, then its options. Throws UsageError naming the bad argument.
// A --job file is read and merged here (its own errors are UsageErrors too).
Invocation parseCommandLine(int argc, char** argv);

// The job as the JSON text a job file holds: {"command": ..., "options": {...}}.
std::string jobJson(const Job& job);
// Reads a job file's text; throws UsageError for malformed JSON, an unknown option or a value
// of the wrong kind.
Job parseJobJson(const std::string& text, const std::string& fileName);

// "usage: lumivane-batch vantor|gridwise [options]" and the options of each command.
std::string usageLine();
std::string helpText(std::optional<Command> command);

// "FILE[:SHEET]!CELL" of --output; throws UsageError for a missing part.
struct SheetTarget {
  std::string file;
  std::string sheet;  // empty: the workbook's first sheet
  std::string cell;
};
SheetTarget parseSheetTarget(const std::string& text);
// "FILE[:SHEET]" of --data.
struct DataFile {
  std::string file;
  std::string sheet;  // empty: the workbook's active sheet
};
DataFile parseDataFile(const std::string& text);

}  // namespace batch
