#pragma once

#include <string>
#include <vector>

#include "mlp/engine/training_algorithm.h"
#include "platform/dynamic_library.h"

// The host side of the plug-in protocol, owned by Vantor's main sheet: the training algorithms
// of the libraries listed in the text file "methinfo", and which of them is selected.
//
// methinfo holds library names separated by white space. It is read from the current directory;
// when there is none there, the one installed beside this library is used. A bare name is looked
// for first in the installation folder (where the product's own plug-ins live), then along the
// loader's usual path; a name with a '/' is a path. Every failure is reported in a message box
// and skips that entry; loading never throws.
//
// Runs on the user-interface thread. Detach the selected algorithm (while its network exists)
// before FreeAlgorithms(), since freeing unloads the code the algorithm lives in.
class AlgorithmLoader {
 public:
  // Longest library name the methinfo format allows; longer names are refused like a library
  // that cannot be found.
  static constexpr std::size_t kMaxNameLength = 99;

  // Uses the folder of the library this code is linked into as the installation folder.
  AlgorithmLoader();
  // Uses installFolder instead (tests, or a host with its own layout); empty means none.
  explicit AlgorithmLoader(std::string installFolder);
  ~AlgorithmLoader() { FreeAlgorithms(); }
  AlgorithmLoader(const AlgorithmLoader&) = delete;
  AlgorithmLoader& operator=(const AlgorithmLoader&) = delete;

  // Loads every library listed in methinfo, in file order, and asks each for its algorithm.
  // Replaces whatever was loaded before. Afterwards selectedAlgorithm is 0 when at least one
  // algorithm was loaded, else -1.
  void LoadAlgorithms();
  // Unloads every library and empties the lists; selectedAlgorithm becomes -1.
  void FreeAlgorithms();

  // The selected algorithm, or null when none is selected.
  TrainingAlgorithm* Selected() const;
  // "Select new": detaches the current algorithm (if any), then selects index (-1 for none;
  // anything outside the list also selects none).
  void SelectAlgorithm(int index);

  const std::string& installFolder() const { return installFolder_; }

  // Parallel lists in methinfo order: libraries[i] holds the code of algorithms[i]. A library
  // listed twice appears twice, both entries pointing to the same algorithm object.
  std::vector<TrainingAlgorithm*> algorithms;
  std::vector<platform::DynamicLibrary> libraries;
  int selectedAlgorithm = -1;

 private:
  void LoadOne(const std::string& name, bool nameTooLong);
  std::string Resolve(const std::string& name) const;

  std::string installFolder_;
};
