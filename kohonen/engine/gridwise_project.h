#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "kohonen/engine/kohonen_net.h"
#include "shared/gridwise_data_set.h"

// Gridwise project files (*.gwp): "MLP1", the data-set block, then the net block (rows,
// columns, dimension as int32, then every cell's weight vector, cells row-major). Little-endian
// throughout; the table's values are never stored.

// The magic and the filter have internal linkage (constexpr without inline): both tools name
// them so, and the batch program links both tools.
constexpr char kProjectMagic[] = "MLP1";
inline constexpr char kProjectExtension[] = ".gwp";
inline constexpr char kProjectDefaultName[] = "Untitled.gwp";
constexpr char kProjectFilter[] = "Gridwise projects (*.gwp)|*.gwp||";

inline constexpr char kCantOpenFileMessage[] = "Can't open file ";
inline constexpr char kBadFileFormatMessage[] = "Bad file format!";
inline constexpr char kFileCorruptedMessage[] = "The file is corrupted!";

// Writes the net block. The caller checks the stream.
void writeNetBlock(std::ostream& out, const KohonenNet& net);

// Reads a net block whose vectors must have `dimension` components. Every read is checked; a
// count below 1, a dimension other than `dimension`, or weights that cannot fit in what is
// left of a seekable stream throw IllegalDataFormatException "data format doesn't match to
// expected one" before anything is allocated. An allocation failure throws
// OutOfMemoryException "Out of memory".
KohonenNet readNetBlock(std::istream& in, std::int32_t dimension);

// Writes a whole project to a stream: magic, data-set block, net block.
void writeProject(std::ostream& out, const GridwiseDataSet& dataSet, const KohonenNet& net);

// Reads a project from a stream whose magic has already been checked: the data-set block (which
// re-selects, re-normalises and re-projects the attached table) and then the net. Throws the
// MyException family; on any failure the data set is left without a selection.
KohonenNet readProjectBody(std::istream& in, GridwiseDataSet& dataSet);

enum class ProjectStatus {
  Done,         // saved / loaded
  CannotOpen,   // message: "Can't open file " + path
  BadFormat,    // message: "Bad file format!"
  Corrupted,    // message: "The file is corrupted!"
  OutOfMemory,  // message: the exception's text ("Out of memory")
};

struct ProjectResult {
  ProjectStatus status = ProjectStatus::Done;
  std::string message;  // the text for the message box; empty when Done
  bool ok() const { return status == ProjectStatus::Done; }
};

// Saves a project so that an existing file is replaced only by a complete new one. Any failure
// (the folder not writable, a failed write or rename) is reported as CannotOpen with
// "Can't open file " + path, and the previous file stays as it was.
ProjectResult saveProject(const std::filesystem::path& path, const GridwiseDataSet& dataSet,
                          const KohonenNet& net);

struct LoadedProject {
  ProjectResult result;
  std::optional<KohonenNet> net;  // set when result.ok()
};

// Loads a project against the table attached to dataSet. Any failure after the magic leaves the
// data set without a selection.
LoadedProject loadProject(const std::filesystem::path& path, GridwiseDataSet& dataSet);
