// The lumivane command line, and the executable's headless answers to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "host/window/command_line.h"
#include "tests/support/test_support.h"

namespace host {
namespace {

std::optional<CommandLine> parse(std::vector<std::string> args, std::string* why = nullptr) {
  std::string error;
  auto line = parseCommandLine(args, error);
  if (why) *why = error;
  return line;
}

TEST(CommandLineTest, FilesVersionsAndTools) {
  auto line = parse({"a.csv", "--excel-version", "7", "--gridwise", "b.xlsx"});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->mode, CommandLine::Mode::Window);
  EXPECT_EQ(line->excelVersion, 7);
  EXPECT_EQ(line->tool, CommandLine::Tool::Gridwise);
  EXPECT_EQ(line->files, (std::vector<std::string>{"a.csv", "b.xlsx"}));
  EXPECT_EQ(parse({})->excelVersion, 9);
  EXPECT_EQ(parse({"--excel-version=8"})->excelVersion, 8);
  EXPECT_EQ(parse({"--", "--vantor"})->files, (std::vector<std::string>{"--vantor"}));
  EXPECT_EQ(parse({"--vantor", "--vantor"})->tool, CommandLine::Tool::Vantor);
}

TEST(CommandLineTest, HeadlessModes) {
  auto line = parse({"--describe", "a.csv", "b.ods"});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->mode, CommandLine::Mode::Describe);
  line = parse({"--save", "out.xlsx", "a.csv"});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->mode, CommandLine::Mode::Save);
  EXPECT_EQ(line->saveAs, "out.xlsx");
  EXPECT_EQ(line->files, (std::vector<std::string>{"a.csv"}));
  line = parse({"--save", "out.csv", "--sheet", "all", "book.ods"});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->saveSheet, "all");
  EXPECT_EQ(parse({"x", "--help", "--bogus-after-help-is-still-an-error"}), std::nullopt);
  EXPECT_EQ(parse({"--version", "--help"})->mode, CommandLine::Mode::Version);
}

TEST(CommandLineTest, BadArgumentsAreRefusedWithAReason) {
  std::string why;
  for (const auto& args : std::vector<std::vector<std::string>>{{"--excel-version"},
                                                                {"--excel-version", "10"},
                                                                {"--excel-version=9.0"},
                                                                {"--vantor", "--gridwise"},
                                                                {"--describe"},
                                                                {"--save"},
                                                                {"--describe", "--vantor", "a.csv"},
                                                                {"--save", "out.csv"},
                                                                {"--sheet", "all", "a.csv"},
                                                                {"--save", "o.csv", "--sheet"},
                                                                {"-x"}}) {
    EXPECT_FALSE(parse(args, &why)) << args.front();
    EXPECT_FALSE(why.empty()) << args.front();
  }
}

// Runs the executable; returns its exit code and what it wrote to stdout and stderr.
int runCommand(const std::string& commandLine, std::string& output) {
  const std::string command = commandLine + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  output.clear();
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int run(const std::string& arguments, std::string& output) {
  return runCommand(std::string(LUMIVANE_EXE) + " " + arguments, output);
}

TEST(LumivaneExecutableTest, HeadlessCommandsAndTheirExitCodes) {
  std::string out;
  EXPECT_EQ(run("--bogus", out), 2);
  EXPECT_EQ(out.rfind("lumivane: unknown option --bogus\nusage: lumivane", 0), 0u) << out;
  EXPECT_EQ(run("--excel-version 6", out), 2);

  const std::string iris = lumivane::test::samplePath("iris.csv");
  EXPECT_EQ(run("--describe " + iris, out), 0);
  EXPECT_EQ(out, "iris.csv\n  iris: A1:I151\n");
  EXPECT_EQ(run("--describe " + iris + " /nonexistent/missing.csv", out), 1);
  EXPECT_NE(out.find("iris: A1:I151"), std::string::npos);
  EXPECT_NE(out.find("missing.csv"), std::string::npos) << out;

  lumivane::test::TempDir temp;
  EXPECT_EQ(run("--save " + temp.file("iris.xlsx") + " " + iris, out), 0) << out;
  EXPECT_EQ(run("--describe " + temp.file("iris.xlsx"), out), 0);
  EXPECT_EQ(out, "iris.xlsx\n  iris: A1:I151\n");

  // Every sheet of an .ods to .csv files of their own.
  const std::string ods = lumivane::test::testDataPath("host_sample.ods");
  EXPECT_EQ(run("--save " + temp.file("out.csv") + " --sheet all " + ods, out), 0) << out;
  EXPECT_NE(out.find("out-Measurements.csv"), std::string::npos) << out;
  EXPECT_EQ(run("--describe " + temp.file("out-Measurements.csv"), out), 0) << out;
  EXPECT_NE(out.find("out-Measurements: A1:"), std::string::npos) << out;

  EXPECT_EQ(run("--version", out), 0);
  EXPECT_EQ(out.rfind("lumivane ", 0), 0u);
  EXPECT_EQ(run("--help", out), 0);
  EXPECT_NE(out.find("--excel-version 7|8|9"), std::string::npos);

  // Without a display the window says so in one line instead of aborting.
  EXPECT_EQ(runCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(LUMIVANE_EXE) +
                           " " + iris,
                       out),
            1);
  EXPECT_EQ(out.rfind("lumivane: no display", 0), 0u) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}

}  // namespace
}  // namespace host
