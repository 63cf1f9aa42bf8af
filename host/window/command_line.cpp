#include "host/window/command_line.h"

namespace host {

namespace {

bool readVersion(const std::string& text, int& version, std::string& error) {
  if (text == "7" || text == "8" || text == "9") {
    version = text[0] - '0';
    return true;
  }
  error = "--excel-version takes 7, 8 or 9, not \"" + text + "\"";
  return false;
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args, std::string& error) {
  CommandLine line;
  bool describe = false, optionsEnded = false, versionGiven = false;
  std::optional<CommandLine::Mode> information;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      line.files.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--excel-version") {
      if (!hasValue) {
        error = "--excel-version needs a value (7, 8 or 9)";
        return std::nullopt;
      }
      if (!readVersion(args[++i], line.excelVersion, error)) return std::nullopt;
      versionGiven = true;
    } else if (arg.rfind("--excel-version=", 0) == 0) {
      if (!readVersion(arg.substr(16), line.excelVersion, error)) return std::nullopt;
      versionGiven = true;
    } else if (arg == "--calc") {
      line.calc = true;
    } else if (arg == "--vantor" || arg == "--gridwise") {
      const auto tool = arg == "--vantor" ? CommandLine::Tool::Vantor : CommandLine::Tool::Gridwise;
      if (line.tool != CommandLine::Tool::None && line.tool != tool) {
        error = "--vantor and --gridwise cannot be given together";
        return std::nullopt;
      }
      line.tool = tool;
    } else if (arg == "--describe") {
      describe = true;
    } else if (arg == "--save") {
      if (!hasValue) {
        error = "--save needs a file name (.xlsx or .csv)";
        return std::nullopt;
      }
      line.saveAs = args[++i];
    } else if (arg == "--sheet") {
      if (!hasValue || args[i + 1].empty()) {
        error = "--sheet needs a sheet name or \"all\"";
        return std::nullopt;
      }
      line.saveSheet = args[++i];
    } else if (arg == "--self-check-screenshot") {
      if (!hasValue) {
        error = "--self-check-screenshot needs a file name";
        return std::nullopt;
      }
      line.selfCheckScreenshot = args[++i];
    } else if (arg == "--version") {
      if (!information) information = CommandLine::Mode::Version;
    } else if (arg == "--help" || arg == "-h") {
      if (!information) information = CommandLine::Mode::Help;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  if (information) {
    line.mode = *information;
    return line;
  }
  if (!line.saveSheet.empty() && line.saveAs.empty()) {
    error = "--sheet goes with --save";
    return std::nullopt;
  }
  if (line.calc) {
    if (describe || !line.saveAs.empty()) {
      error = "--calc works on the running LibreOffice Calc; it cannot go with --describe or --save";
      return std::nullopt;
    }
    if (!line.files.empty()) {
      error = "--calc takes no files: open them in LibreOffice Calc";
      return std::nullopt;
    }
    if (versionGiven) {
      error = "--excel-version is for our own window; --calc reports version 9";
      return std::nullopt;
    }
    return line;
  }
  if (describe || !line.saveAs.empty()) {
    if (line.tool != CommandLine::Tool::None) {
      error = "--vantor and --gridwise need the window; they cannot go with --describe or --save";
      return std::nullopt;
    }
    if (line.files.empty()) {
      error =
          std::string(line.saveAs.empty() ? "--describe" : "--save") + " needs at least one workbook file";
      return std::nullopt;
    }
    line.mode = line.saveAs.empty() ? CommandLine::Mode::Describe : CommandLine::Mode::Save;
  }
  return line;
}

std::string usageText() {
  return "usage: lumivane [--excel-version 7|8|9] [--vantor|--gridwise] [FILE...]\n"
         "       lumivane [--excel-version 7|8|9] --describe FILE...\n"
         "       lumivane [--excel-version 7|8|9] --save OUT.xlsx|OUT.csv [--sheet NAME|all] FILE...\n"
         "       lumivane --calc [--vantor|--gridwise]\n"
         "       lumivane --version | --help\n";
}

std::string helpText() {
  return "Lumivane, the spreadsheet host of the Vantor and Gridwise tools.\n\n" + usageText() +
         "\n"
         "  FILE...                 workbooks to open (.xlsx, .ods, .csv)\n"
         "  --excel-version 7|8|9   the version the host reports to the tools (9 by default;\n"
         "                          7 gives sheets of 16384 rows)\n"
         "  --vantor, --gridwise    start that tool on the used area of the first sheet of the\n"
         "                          first file once the window is up\n"
         "  --describe              print each sheet's used area and exit (1 when a file is refused)\n"
         "  --save OUT              open the files and save the last one to OUT (.xlsx or .csv)\n"
         "  --sheet NAME|all        with --save to .csv: that sheet, or every sheet in a file of\n"
         "                          its own (OUT-<sheet>.csv); the active sheet by default\n"
         "  --calc                  work on the running LibreOffice Calc (started when none runs):\n"
         "                          a small launcher window starts the tools on Calc's selection\n"
         "                          and they write their output into Calc's sheets\n"
         "  --version               print the version and exit\n"
         "  --help                  print this help and exit\n";
}

}  // namespace host
