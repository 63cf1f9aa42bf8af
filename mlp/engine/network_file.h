#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "mlp/engine/perceptron.h"

// The network file *.mlp: the three bytes "MLP", the major version 3 and the minor version 0
// (little-endian uint16 each), then the network block of Perceptron::WriteBlock. These are the
// file operations behind "Save Net..." and "Load Net..."; the commands show `message` in a box.

inline constexpr char kNetworkFileMagic[] = "MLP";     // written without terminator
inline constexpr std::uint16_t kNetworkFileMajor = 3;  // the only major version read
inline constexpr std::uint16_t kNetworkFileMinor = 0;  // written; read but not examined

// What went wrong, so the caller can show the right text.
enum class NetworkFileError {
  None,
  CannotOpen,    // the file cannot be opened or created: "Can't open file " + path
  NotMlpFormat,  // the first three bytes are not "MLP"
  WrongVersion,  // the major version is not 3
  BlockError,    // the network block (or the version fields) threw: the exception's message
  WriteFailed,   // writing the new file failed; an existing file at the path is left as it was
};

inline constexpr char kCannotOpenFileText[] = "Can't open file ";
inline constexpr char kNotMlpFormatText[] = "This file is not in Multilayer Perceptron format!";
inline constexpr char kWrongVersionText[] = "The version of this file isn't 3.0!";
inline constexpr char kCannotWriteFileText[] = "Can't write file ";

struct NetworkSaveResult {
  NetworkFileError error = NetworkFileError::None;
  std::string message;  // empty on success
  bool ok() const { return error == NetworkFileError::None; }
};

struct NetworkLoadResult {
  NetworkFileError error = NetworkFileError::None;
  std::string message;                  // empty on success
  std::exception_ptr exception;         // BlockError: the MyException thrown by the reader
  std::unique_ptr<Perceptron> network;  // set only on success
  bool ok() const { return error == NetworkFileError::None; }
};

// Writes header and block into a temporary file beside path and renames it over path once
// complete, so a failed save never leaves a truncated file in place of a good one.
NetworkSaveResult saveNetworkFile(const Perceptron& network, const std::filesystem::path& path);

// Reads a network file. Never throws a MyException: every failure is reported in the result.
NetworkLoadResult loadNetworkFile(const std::filesystem::path& path);

// The header and block on open streams (used by the file functions above and by tests).
// writeNetworkFile leaves failures in the stream's state; readNetworkFile reports like
// loadNetworkFile, with CannotOpen never occurring.
void writeNetworkFile(const Perceptron& network, std::ostream& out);
NetworkLoadResult readNetworkFile(std::istream& in);
