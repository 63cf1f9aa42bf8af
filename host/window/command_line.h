#pragma once

#include <optional>
#include <string>
#include <vector>

namespace host {

// What lumivane was asked to do on its command line.
struct CommandLine {
  enum class Mode {
    Window,    // the window, with the files open
    Describe,  // headless: each file's sheets and used areas, then exit
    Save,      // headless: open the files, report them, save the last one to saveAs
    Version,
    Help,
  };
  enum class Tool { None, Vantor, Gridwise };

  Mode mode = Mode::Window;
  int excelVersion = 9;  // the version the host reports: 7, 8 or 9
  Tool tool = Tool::None;
  // Work on the user's running LibreOffice Calc instead of our own window (--calc).
  bool calc = false;
  std::string saveAs;
  // With --save to a .csv file: "" the active sheet, "all" every sheet (a file each), else the
  // sheet of that name.
  std::string saveSheet;
  std::vector<std::string> files;
  // Hidden, for the test under a real display: take a screenshot into this PNG once the window
  // shows its first workbook, check it, and exit.
  std::string selfCheckScreenshot;
};

// Reads argv[1...]: FILE..., --excel-version 7|8|9 (or --excel-version=N), --vantor,
// --gridwise, --describe, --save FILE [--sheet NAME|all], --calc, --version, --help; "--" ends
// the options. Nothing, with the reason in error, for a bad command line (unknown option,
// missing or bad value, both tools, a tool or a save together with --describe, --describe or
// --save without files, --sheet without --save, --calc with files, --describe, --save or
// --excel-version).
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args, std::string& error);

// "usage: lumivane [--excel-version 7|8|9] [--vantor|--gridwise] [FILE...]" and the other forms.
std::string usageText();
// The --help text.
std::string helpText();

}  // namespace host
