#include "batch/desktop_job.h"

#include <charconv>
#include <system_error>

#include "batch/batch_choices.h"
#include "platform/a1_notation.h"
#include "platform/prompter.h"
#include "shared/binary_io.h"

namespace batch {
namespace {

using platform::Dispatch;
using platform::RefPtr;
using platform::Variant;

// A field that reads back as the same text: the apostrophe keeps numbers, Booleans and dates
// that a name may look like as text, and quotes keep separators and line breaks.
std::string textField(const std::string& text) {
  const std::string marked = "'" + text;
  if (marked.find_first_of(",\"\r\n") == std::string::npos) return marked;
  std::string quoted = "\"";
  for (char c : marked) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string numberField(double value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string();
}

// What the host says about the workbook the table came from.
struct WorkbookState {
  std::string fullName;  // empty: the host did not say, or the workbook has no file
  std::optional<bool> saved;
};

WorkbookState workbookState(Dispatch* application, const std::string& name) {
  WorkbookState state;
  RefPtr<Dispatch> books, book;
  const Variant key(name);
  if (name.empty() || platform::FAILED(platform::getObjectProperty(application, "Workbooks", books)) ||
      platform::FAILED(
          platform::getObjectProperty(books.get(), "Item", book, std::span<const Variant>(&key, 1))))
    return state;
  Variant fullName, saved;
  if (platform::SUCCEEDED(platform::getProperty(book.get(), "FullName", fullName)) &&
      fullName.vt() == platform::VT_BSTR) {
    // A workbook that was never saved reports its bare name.
    const std::filesystem::path file(fullName.bstrVal());
    std::error_code ec;
    if (file.is_absolute() && std::filesystem::is_regular_file(file, ec)) state.fullName = file.string();
  }
  if (platform::SUCCEEDED(platform::getProperty(book.get(), "Saved", saved)) &&
      saved.vt() == platform::VT_BOOL)
    state.saved = saved.boolVal();
  return state;
}

std::optional<JobData> csvCopy(const RawTable& table, const std::filesystem::path& jobFile,
                               const std::string& caption) {
  const std::filesystem::path csv = csvBesideJob(jobFile);
  // The name may be taken by a file of the user's (even the data's own workbook): never
  // replaced without asking.
  std::error_code ec;
  if (std::filesystem::exists(csv, ec) &&
      platform::prompter().messageBox(csv.string() + " already exists.\nDo you want to replace it?", caption,
                                      platform::MB_YESNO | platform::MB_ICONWARNING) != platform::IDYES)
    return std::nullopt;
  if (!writeFileAtomically(csv, [&](std::ostream& out) { out << tableCsv(table); })) {
    platform::prompter().messageBox("Cannot write the data to " + csv.string() + ".", caption,
                                    platform::MB_OK | platform::MB_ICONERROR);
    return std::nullopt;
  }
  JobData data;
  data.file = csv.string();
  const std::int32_t columns = table.columnCount() + (table.rowIds.empty() ? 0 : 1);
  data.choice.columns = "A";
  if (columns > 1) data.choice.columns += "-" + platform::columnLetters(columns);
  data.choice.firstRow = 1;
  data.choice.lastRow = table.rowCount + 1;
  data.choice.namesInFirstRow = true;
  data.choice.rowIdsInFirstColumn = !table.rowIds.empty();
  return data;
}

}  // namespace

void setJobData(Job& job, const JobData& data) {
  const std::filesystem::path file(data.file);
  std::string extension = file.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // A CSV file has one sheet; naming it would only tie the job to the host's name for it.
  const bool oneSheet = extension == ".csv" || data.sheet.empty();
  job.options.insert("data", QString::fromStdString(oneSheet ? data.file : data.file + ":" + data.sheet));
  job.options.insert("columns", QString::fromStdString(data.choice.columns));
  job.options.insert("first-row", data.choice.firstRow);
  job.options.insert("last-row", data.choice.lastRow);
  if (!data.choice.namesInFirstRow) job.options.insert("no-names", true);
  if (data.choice.rowIdsInFirstColumn) job.options.insert("row-ids", true);
}

std::string tableCsv(const RawTable& table) {
  const bool ids = !table.rowIds.empty();
  std::string text;
  if (ids) text += textField("ID");
  for (std::int32_t c = 0; c < table.columnCount(); ++c) {
    if (ids || c > 0) text += ',';
    text += textField(table.columnNames[static_cast<std::size_t>(c)]);
  }
  text += '\n';
  for (std::int32_t r = 0; r < table.rowCount; ++r) {
    if (ids) text += textField(table.rowIds[static_cast<std::size_t>(r)]);
    for (std::int32_t c = 0; c < table.columnCount(); ++c) {
      if (ids || c > 0) text += ',';
      text += numberField(table.column(c)[r]);
    }
    text += '\n';
  }
  return text;
}

std::filesystem::path csvBesideJob(const std::filesystem::path& jobFile) {
  std::filesystem::path csv = jobFile;
  csv.replace_extension(".data.csv");
  return csv;
}

std::optional<JobData> desktopJobData(Dispatch* application, const TableSource& source, const RawTable& table,
                                      const std::filesystem::path& jobFile, const std::string& caption) {
  const WorkbookState state = workbookState(application, source.workbook);
  const std::string csv = csvBesideJob(jobFile).string();
  const std::string bookName =
      source.workbook.empty() ? std::string("the data") : "\"" + source.workbook + "\"";
  if (state.fullName.empty()) {
    const int answer = platform::prompter().messageBox(
        "The workbook " + bookName + " has not been saved to a file, so the job cannot read it.\n\n" +
            "Save the data this analysis uses as " + csv + " and let the job read that?",
        caption, platform::MB_OKCANCEL | platform::MB_ICONQUESTION);
    if (answer != platform::IDOK) return std::nullopt;
    return csvCopy(table, jobFile, caption);
  }
  // A host that cannot tell whether the workbook changed is treated as one that says it did.
  if (!state.saved.value_or(false)) {
    const int answer = platform::prompter().messageBox(
        "The workbook " + bookName + " may have changes that are not saved in " + state.fullName +
            ", and the job would read the file as it is.\n\n" + "Yes: save the data this analysis uses as " +
            csv + " and let the job read that.\n" + "No: let the job read " + state.fullName + ".",
        caption, platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION);
    if (answer == platform::IDYES) return csvCopy(table, jobFile, caption);
    if (answer != platform::IDNO) return std::nullopt;
  }
  return JobData{state.fullName, source.sheet, source.choice};
}

bool saveJobThroughDialog(const std::string& caption, const std::string& proposedName,
                          const std::function<std::optional<Job>(const std::filesystem::path&)>& build) {
  platform::FileDialogRequest request;
  request.save = true;
  request.defaultExt = "json";
  request.fileName = proposedName;
  request.filter = "Job files (*.json)|*.json||";
  request.overwritePrompt = true;
  request.title = "Save analysis as job";
  const std::optional<std::string> chosen = platform::prompter().fileDialog(request);
  if (!chosen || chosen->empty()) return false;
  const std::filesystem::path jobFile = std::filesystem::absolute(*chosen);
  const auto tell = [&](const std::string& text) {
    platform::prompter().messageBox(text, caption, platform::MB_OK | platform::MB_ICONERROR);
  };
  std::optional<Job> job;
  try {
    job = build(jobFile);
    if (!job) return false;
    checkJob(*job);
  } catch (const JobRefusal& refusal) {
    tell(std::string("The analysis cannot be saved as a job: ") + refusal.what());
    return false;
  } catch (const UsageError& error) {
    tell(std::string("The analysis cannot be saved as a job: ") + error.what());
    return false;
  }
  const std::string text = jobJson(*job);
  if (!writeFileAtomically(jobFile, [&](std::ostream& out) { out << text; })) {
    tell("Cannot write the job file " + jobFile.string() + ".");
    return false;
  }
  return true;
}

}  // namespace batch
