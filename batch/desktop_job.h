#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "batch/batch_job.h"
#include "platform/dispatch.h"
#include "shared/raw_table.h"
#include "shared/tool_task.h"

// "Save analysis as job…" of the tool windows: the data file a job refers to, the CSV copy of
// the data when the workbook's file cannot be trusted, and the job file written through the
// prompter. The tools fill in their own choices (see the tools' analysis_job files).
namespace batch {

// Something the session holds that a job cannot express; what() is shown to the user.
class JobRefusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a job reads its data: the file, the sheet (empty: the file's active sheet) and the
// block of it.
struct JobData {
  std::string file;
  std::string sheet;
  DataSourceChoice choice;
};

// The data options of a job: --data, --columns, --first-row, --last-row, --no-names and (for
// the tools that keep row IDs) --row-ids.
void setJobData(Job& job, const JobData& data);

// The table as CSV text that reads back into the same table: a header row of the names (and
// "ID" first when the table has row IDs), texts marked as texts, every number in the fewest
// digits that give back the same double.
std::string tableCsv(const RawTable& table);
// The file beside the job that holds the CSV copy: "run.json" → "run.data.csv". An existing
// file of that name is replaced only after the user said Yes.
std::filesystem::path csvBesideJob(const std::filesystem::path& jobFile);

// The data of a job saved as jobFile. The workbook the table was read from is asked for its
// FullName and Saved state through automation: a workbook with a file and no unsaved changes
// gives that file and sheet. Otherwise the prompter asks whether to write the table as a CSV
// file beside the job (never saved: OK or Cancel; unsaved changes: Yes for the copy, No for the
// file as last saved, Cancel). Nothing when the user cancelled or the copy could not be
// written (told through the prompter).
std::optional<JobData> desktopJobData(platform::Dispatch* application, const TableSource& source,
                                      const RawTable& table, const std::filesystem::path& jobFile,
                                      const std::string& caption);

// The menu command's frame: the save dialog (.json), then build for the chosen file, the job
// checked as the batch program would check it, and the file written complete or not at all.
// build returns nothing when the user cancelled a question; a JobRefusal or a failed write is
// shown with its reason. True when the job file was written.
bool saveJobThroughDialog(const std::string& caption, const std::string& proposedName,
                          const std::function<std::optional<Job>(const std::filesystem::path&)>& build);

}  // namespace batch
