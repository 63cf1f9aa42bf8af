#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "mlp/engine/perceptron.h"
#include "shared/vantor_data_set.h"

// The Vantor project file *.vtp: 'V', 'T', the major version 3 and the minor version 0 (uint16
// little-endian each), the network block (as in a network file after its header), then the
// Vantor data-set block. Training state and the output place are not stored; nor are the data
// values, which always come from the table the project is loaded against.

// The magic and the filter have internal linkage (constexpr without inline): both tools name
// them so, and the batch program links both tools.
constexpr char kProjectMagic[] = "VT";             // written without terminator
inline constexpr std::uint16_t kProjectMajor = 3;  // the only major version read
inline constexpr std::uint16_t kProjectMinor = 0;  // written; read but not examined

constexpr char kProjectFilter[] = "Vantor 3.0 project (*.vtp)|*.vtp||";
inline constexpr char kProjectSaveFailedText[] = "File opening error!";
inline constexpr char kNotVantorFormatText[] = "This file isn't in Vantor format!";
inline constexpr char kOtherVantorVersionText[] = "This file belongs to another version of Vantor!";
inline constexpr char kProjectColumnsText[] =
    " The number of columns of your data don't match\nthe number of columns in project loaded.";
inline constexpr char kProjectCountsDisagreeText[] =
    "The network of this project doesn't fit its data set:\n"
    "their numbers of inputs or outputs differ.";

enum class ProjectFileError {
  None,
  NotVantorFormat,  // the magic is not "VT"
  WrongVersion,     // the major version is not 3
  NetworkBlock,     // the network block threw: its message
  ColumnMismatch,   // the data-set block does not fit the table (BadProjectException)
  DataSetBlock,     // the data-set block threw otherwise: its message
  CountsDisagree,   // network and data-set block differ in input or output count
};

struct ProjectReadResult {
  ProjectFileError error = ProjectFileError::None;
  std::string message;                  // the text to show; empty on success
  std::unique_ptr<Perceptron> network;  // set only on success
  bool ok() const { return error == ProjectFileError::None; }
};

// Writes header, network block and data-set block; failures are left in the stream's state.
// The data set must have inputs (MyException otherwise, from its block writer).
void writeProject(const Perceptron& network, const VantorDataSet& dataSet, std::ostream& out);
// Replaces path only once the whole project has been written; false when it cannot be.
bool saveProjectFile(const Perceptron& network, const VantorDataSet& dataSet,
                     const std::filesystem::path& path);

// Reads a project from an open stream. The data set (attached to the current table) is
// touched only once header and network block have been read: from then on a failure leaves
// it without inputs and outputs. Never throws a MyException; failures are in the result.
ProjectReadResult readProject(std::istream& in, VantorDataSet& dataSet);
