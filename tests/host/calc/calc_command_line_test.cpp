// lumivane --calc on the command line: what goes with it and what does not.
#include <gtest/gtest.h>

#include "host/window/command_line.h"

namespace host {
namespace {

std::optional<CommandLine> parse(std::vector<std::string> args, std::string* why = nullptr) {
  std::string error;
  auto line = parseCommandLine(args, error);
  if (why) *why = error;
  return line;
}

TEST(CalcCommandLineTest, CalcWithAToolOrAloneAndNothingThatNeedsOurWindow) {
  auto line = parse({"--calc"});
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->calc);
  EXPECT_EQ(line->mode, CommandLine::Mode::Window);
  line = parse({"--gridwise", "--calc"});
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->calc);
  EXPECT_EQ(line->tool, CommandLine::Tool::Gridwise);
  EXPECT_FALSE(parse({"a.csv"})->calc);

  std::string why;
  EXPECT_FALSE(parse({"--calc", "a.csv"}, &why));
  EXPECT_NE(why.find("--calc takes no files"), std::string::npos) << why;
  EXPECT_FALSE(parse({"--calc", "--describe", "a.csv"}, &why));
  EXPECT_NE(why.find("--describe"), std::string::npos) << why;
  EXPECT_FALSE(parse({"--save", "out.xlsx", "a.csv", "--calc"}, &why));
  EXPECT_FALSE(parse({"--calc", "--excel-version", "7"}, &why));
  EXPECT_NE(why.find("--excel-version"), std::string::npos) << why;
  // --help still answers.
  EXPECT_EQ(parse({"--calc", "--help"})->mode, CommandLine::Mode::Help);
  EXPECT_NE(helpText().find("--calc"), std::string::npos);
}

}  // namespace
}  // namespace host
