#pragma once

// Saves cut short at a chosen byte: a child process writes under a file-size limit
// (RLIMIT_FSIZE, the kernel's "file too large" at that byte, as a full disk gives "no space").
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "shared/raw_table.h"
#include "tests/support/test_support.h"

namespace reliability {

namespace fs = std::filesystem;
using lumivane::test::TempDir;

// A writer: true when it reports success.
using Writer = std::function<bool(const fs::path& target)>;

enum class Outcome { Succeeded, ReportedFailure, Threw, Crashed };

// Runs writer in a child process whose files may not grow beyond limit bytes.
inline Outcome writeWithLimit(const Writer& writer, const fs::path& target, rlim_t limit) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of killing the child
    const rlimit cap{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(90);
    int code = 0;
    try {
      code = writer(target) ? 10 : 11;
    } catch (...) {
      code = 12;
    }
    _exit(code);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return Outcome::Crashed;
  switch (WEXITSTATUS(status)) {
    case 10:
      return Outcome::Succeeded;
    case 11:
      return Outcome::ReportedFailure;
    case 12:
      return Outcome::Threw;
    default:
      return Outcome::Crashed;
  }
}

inline std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline std::vector<std::string> folderContents(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The core check. previous writes the file that is there before; next is the save that gets
// cut. failureThrows: the writer reports failure by throwing (the workbook export) rather than
// by its result.
inline void expectEveryCutKeepsPrevious(const Writer& previous, const Writer& next,
                                        const std::string& fileName, bool failureThrows = false) {
  TempDir dir;
  const fs::path probe = dir.path() / ("probe-" + fileName);
  ASSERT_TRUE(next(probe));
  const std::uintmax_t fullSize = fs::file_size(probe);
  const std::string expectedNew = readAll(probe);
  fs::remove(probe);

  const fs::path target = dir.path() / fileName;
  ASSERT_TRUE(previous(target));
  const std::string before = readAll(target);
  ASSERT_NE(before, expectedNew) << "the two saves must differ for the test to tell them apart";
  const std::vector<std::string> listing = folderContents(dir.path());

  // Every byte of small files; for larger ones every byte of the first and last blocks and a
  // few hundred cuts spread between.
  std::vector<rlim_t> cuts;
  const rlim_t size = static_cast<rlim_t>(fullSize);
  const rlim_t step = size <= 1024 ? 1 : size / 300;
  for (rlim_t cut = 0; cut < size; cut += (cut < 64 || cut + 64 >= size) ? 1 : step) cuts.push_back(cut);
  const Outcome expectedFailure = failureThrows ? Outcome::Threw : Outcome::ReportedFailure;
  for (rlim_t cut : cuts) {
    const Outcome outcome = writeWithLimit(next, target, cut);
    ASSERT_EQ(outcome, expectedFailure) << fileName << " cut at byte " << cut << " of " << size;
    ASSERT_TRUE(readAll(target) == before) << fileName << " changed by a save cut at byte " << cut;
    ASSERT_EQ(folderContents(dir.path()), listing)
        << fileName << ": a save cut at byte " << cut << " left a file";
  }
  // With room for the whole file the same save goes through (a zip package stamps its parts
  // with the time, so only the size is compared).
  ASSERT_EQ(writeWithLimit(next, target, size), Outcome::Succeeded);
  const std::string after = readAll(target);
  EXPECT_EQ(after.size(), expectedNew.size());
  EXPECT_FALSE(after == before);
}

// Three columns of six rows, with row IDs.
inline RawTable smallTable() {
  RawTable table;
  table.allocate(3, 6, true);
  for (std::int32_t c = 0; c < 3; ++c)
    for (std::int32_t r = 0; r < 6; ++r)
      table.columns[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] = r * (c + 1) + 0.5 * c;
  for (std::int32_t r = 0; r < 6; ++r) table.rowIds[static_cast<std::size_t>(r)] = "row " + std::to_string(r);
  table.loaded = true;
  return table;
}

}  // namespace reliability
