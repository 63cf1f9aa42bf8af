#pragma once

#include <QJsonObject>
#include <ostream>
#include <string>
#include <vector>

#include "batch/batch_job.h"

// One analysis of a batch run, driving the tool's session exactly as its windows do.
//
// The order of the commands is the windows' order, because every draw of the process-wide
// rand() shapes the result. Vantor: data source → load project → select inputs → select outputs
// (each re-lays out the test set) → boxcounting → test-set layout → create network → the
// algorithm's parameters → stopping criteria → training → save network → save project → output
// → error history. Gridwise: data source → preferences (store, then the options) → load
// project or create patterns (selector, normalisation, principal components) → create network
// (the map is trained) → save project → output → maps.
namespace batch {

// Exit codes of the program.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRefused = 1;  // the analysis was refused; the tool's message was printed
inline constexpr int kExitUsage = 2;    // bad arguments; a usage line names the bad one

// What a run reports in the --json summary besides the choices.
struct RunReport {
  QJsonObject summary;
  std::vector<std::string> filesWritten;
};

// Both run one job to its end and return the exit code; messages go to err. Output files are
// replaced only once complete.
int runVantor(const Job& job, std::ostream& err, RunReport& report);
int runGridwise(const Job& job, std::ostream& err, RunReport& report);

// The whole program: parse, --write-job, the run, --json. out receives the summary for
// "--json -".
int runBatch(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace batch
