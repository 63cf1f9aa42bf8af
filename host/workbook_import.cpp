// Opening workbook files: the format told by the content, then the reader of that format.
#include <filesystem>
#include <fstream>

#include "host/workbook_builder.h"
#include "host/workbook_io.h"
#include "host/zip_archive.h"

namespace host {

namespace {

namespace fs = std::filesystem;

// Longest worksheet name a workbook file allows; a .csv file's sheet is named after the file.
constexpr std::size_t kMaxSheetName = 31;
// Largest .csv file read: past this it could not fit a worksheet anyway.
constexpr std::uintmax_t kMaxCsvBytes = std::uintmax_t{1} << 31;

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string head(const fs::path& path, std::size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(n, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

// The sheet name a spreadsheet gives a text file: its stem, cut to the longest name allowed
// without splitting a character.
std::string csvSheetName(const fs::path& path) {
  std::string name = path.stem().string();
  if (name.size() <= kMaxSheetName) return name;
  std::size_t cut = kMaxSheetName;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

}  // namespace

std::shared_ptr<Workbook> importWorkbook(const std::string& path, SheetLimits limits) {
  return importWorkbook(path, limits, ImportOptions{});
}

std::shared_ptr<Workbook> importWorkbook(const std::string& path, SheetLimits limits,
                                         const ImportOptions& options) {
  const fs::path p(path);
  const std::string fileName = p.filename().string();
  std::error_code ec;
  if (!fs::exists(p, ec)) refuse(fileName, "the file does not exist");
  if (!fs::is_regular_file(p, ec)) refuse(fileName, "it is not a file");
  const std::string ext = lower(p.extension().string());
  const std::string magic = head(p, 8);
  if (!std::ifstream(p, std::ios::binary)) refuse(fileName, "the file cannot be read (permission denied)");

  std::shared_ptr<Workbook> workbook;
  if (magic.starts_with("PK\x03\x04") || magic.starts_with("PK\x05\x06")) {
    // A package, whatever its name says.
    std::unique_ptr<ZipArchive> zip;
    try {
      zip = ZipArchive::open(path);
    } catch (const std::exception&) {
      refuse(fileName, "the file cannot be read");
    }
    if (!zip) {
      if (ext == ".ods") refuse(fileName, "the file is damaged: it is not a complete zip archive");
      if (ext == ".xlsx" || ext == ".xlsm")
        refuse(fileName, "the file is damaged: it is not a complete zip archive");
      refuse(fileName, "the file is damaged: it is not a complete zip archive");
    }
    const bool ods = zip->has("content.xml") && !zip->has("xl/workbook.xml");
    const bool xlsx = zip->has("[Content_Types].xml") || zip->has("xl/workbook.xml");
    if (ods)
      workbook = readOds(*zip, fileName, limits);
    else if (xlsx)
      workbook = readXlsx(*zip, fileName, limits);
    else if (ext == ".ods")
      refuse(fileName, "the file is not an .ods workbook");
    else
      refuse(fileName, "the file is not an .xlsx workbook");
  } else if (ext == ".xlsx" || ext == ".xlsm") {
    refuse(fileName, "the file is not an .xlsx workbook");
  } else if (ext == ".ods") {
    refuse(fileName, "the file is not an .ods workbook");
  } else if (ext == ".csv" || ext == ".txt") {
    const std::uintmax_t size = fs::file_size(p, ec);
    if (ec) refuse(fileName, "the file cannot be read");
    if (size > kMaxCsvBytes) refuse(fileName, "the file is too large for a worksheet");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::ifstream in(p, std::ios::binary);
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) refuse(fileName, "the file cannot be read");
    workbook = readCsv(bytes, fileName, csvSheetName(p), limits, options.csv);
  } else {
    refuse(fileName, "it is not a workbook this program reads (xlsx, ods or csv)");
  }
  workbook->setPath(fs::absolute(p, ec).string());
  return workbook;
}

}  // namespace host
