#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "shared/normaliser.h"
#include "shared/test_set.h"

// The typed choices behind the job's texts, checked before a run starts so that a bad value
// ends it with exit code 2 before anything is read or written.
namespace batch {

// "none", "meanvar", "minmax", "tanh".
NormalisationKind parseKind(const std::string& option, const std::string& text);
const char* kindName(NormalisationKind kind);

// "random", "last", "block", "random-last".
TestSetMode parseTestSetMode(const std::string& text);

// One layer of --net: neurons, function code ('t' or 'l'), order 1 … 3.
struct LayerChoice {
  int neurons = 0;
  char function = 't';
  int order = 1;
  friend bool operator==(const LayerChoice&, const LayerChoice&) = default;
};
// "8t1,3l1": the layers from the first hidden one to the output layer (1 … 5 of them).
std::vector<LayerChoice> parseNetwork(const std::string& text);

// One --map: a feature column by name, average with k colours or existence, and the file.
struct MapChoice {
  std::string feature;
  bool existence = false;
  int colours = 2;
  std::string file;
};
MapChoice parseMap(const std::string& text);

// --pcs: nothing (no components), the 90 % default (count 0), or a count.
struct ComponentChoice {
  bool extract = false;
  int count = 0;  // 0: the dialog's preselection
};
ComponentChoice parseComponents(const std::string& text);

// The name ends in .png or .svg (any case).
bool pictureFile(const std::string& path);

// Every option's value and their combinations, for the job's command; throws UsageError.
void checkJob(const Job& job);

}  // namespace batch
