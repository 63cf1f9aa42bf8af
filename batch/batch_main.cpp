#include <QJsonArray>
#include <QJsonDocument>
#include <exception>

#include "batch/batch_choices.h"
#include "batch/batch_environment.h"
#include "batch/batch_run.h"
#include "host/workbook_io.h"
#include "shared/exceptions.h"

namespace batch {

int runBatch(int argc, char** argv, std::ostream& out, std::ostream& err) {
  Invocation inv;
  try {
    inv = parseCommandLine(argc, argv);
    if (inv.help) {
      out << helpText(argc >= 2 && std::string(argv[1]) == "gridwise" ? std::optional(Command::Gridwise)
                      : argc >= 2 && std::string(argv[1]) == "vantor" ? std::optional(Command::Vantor)
                                                                      : std::nullopt);
      return kExitSuccess;
    }
    checkJob(inv.job);
  } catch (const UsageError& e) {
    err << "lumivane-batch: " << e.what() << "\n" << usageLine() << "\n";
    return kExitUsage;
  }

  RunReport report;
  if (!inv.writeJobFile.empty()) {
    if (!writeTextFile(inv.writeJobFile, jobJson(inv.job))) {
      err << "lumivane-batch: cannot write the job file " << inv.writeJobFile << "\n";
      return kExitRefused;
    }
    report.filesWritten.push_back(inv.writeJobFile);
  }

  int code = kExitRefused;
  try {
    code = inv.job.command == Command::Vantor ? runVantor(inv.job, err, report)
                                              : runGridwise(inv.job, err, report);
  } catch (const UsageError& e) {
    err << "lumivane-batch: " << e.what() << "\n" << usageLine() << "\n";
    return kExitUsage;
  } catch (const host::WorkbookFileError& e) {
    err << "lumivane-batch: " << e.what() << "\n";
  } catch (const MyException& e) {
    err << "lumivane-batch: " << e.what() << "\n";
  } catch (const std::exception& e) {
    err << "lumivane-batch: " << e.what() << "\n";
  }

  const std::string json = inv.job.text("json");
  if (!json.empty()) {
    QJsonObject summary = report.summary;
    summary.insert("command", QLatin1String(commandName(inv.job.command)));
    summary.insert("choices", inv.job.options);
    summary.insert("exit code", code);
    QJsonArray files;
    for (const std::string& f : report.filesWritten) files.append(QString::fromStdString(f));
    summary.insert("files written", files);
    const std::string text = QJsonDocument(summary).toJson(QJsonDocument::Indented).toStdString();
    if (json == "-") {
      out << text;
    } else if (!writeTextFile(json, text)) {
      err << "lumivane-batch: cannot write the summary " << json << "\n";
      if (code == kExitSuccess) code = kExitRefused;
    }
  }
  if (code == kExitSuccess && !inv.job.flag("quiet"))
    for (const std::string& f : report.filesWritten) err << "wrote " << f << "\n";
  return code;
}

}  // namespace batch
