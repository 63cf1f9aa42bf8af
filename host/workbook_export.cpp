// Writing workbooks: .xlsx packages of our own over libzip, and .csv text. Every file is
// written to a temporary file beside its target and renamed over the target only once it is
// complete and on disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "host/number_text.h"
#include "host/workbook_io.h"
#include "platform/dispatch.h"
#include "platform/variant.h"

namespace host {

namespace {

namespace fs = std::filesystem;

// Longest worksheet name an .xlsx file may hold, in characters.
constexpr std::size_t kMaxXlsxSheetName = 31;
// Number formats for date cells with and without a time of day (style 1 and 2).
constexpr const char* kDateTimeFormat = "m/d/yyyy h:mm:ss";

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

[[noreturn]] void fail(const std::string& fileName, const std::string& why) {
  throw WorkbookFileError("Cannot save \"" + fileName + "\": " + why + ".");
}

// The file a path names once symbolic links are followed, so that saving writes through a
// link instead of replacing it.
fs::path followLinks(fs::path p, const std::string& fileName) {
  std::error_code ec;
  for (int hops = 0; fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
    if (hops == 40) fail(fileName, "the link leads in a circle");
    const fs::path target = fs::read_symlink(p, ec);
    if (ec) fail(fileName, "the link cannot be followed");
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  return p;
}

// A temporary file beside the target, removed unless committed.
class TempFile {
 public:
  TempFile(const fs::path& target, const std::string& fileName) : target_(target), fileName_(fileName) {
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) fail(fileName, "the folder does not exist");
    const fs::file_status st = fs::status(target, ec);
    if (fs::exists(st)) {
      if (fs::is_directory(st)) fail(fileName, "a folder of that name is in the way");
      // Without any write permission the file is read-only, also to a user whom the system
      // would let write anyway.
      constexpr fs::perms kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
      if (::access(target.c_str(), W_OK) != 0 || (st.permissions() & kWrite) == fs::perms::none)
        fail(fileName, "the file is read-only");
      mode_ = static_cast<mode_t>(st.permissions()) & 07777;
    }
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) fail(fileName, "the folder cannot be written to");
    ::close(fd);
    path_ = pattern;
  }
  ~TempFile() {
    if (!committed_) ::unlink(path_.c_str());
  }
  const fs::path& path() const { return path_; }

  // Flushes the new file to disk, gives it the old file's permissions and puts it in place.
  void commit() {
    const int fd = ::open(path_.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) {
      if (fd >= 0) ::close(fd);
      fail(fileName_, "writing the file failed (is the disk full?)");
    }
    ::close(fd);
    if (mode_)
      ::chmod(path_.c_str(), *mode_);
    else
      ::chmod(path_.c_str(), 0666 & ~currentUmask());
    if (::rename(path_.c_str(), target_.c_str()) != 0) fail(fileName_, "the file cannot be replaced");
    committed_ = true;
  }

 private:
  static mode_t currentUmask() {
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
  }
  fs::path target_, path_;
  std::string fileName_;
  std::optional<mode_t> mode_;
  bool committed_ = false;
};

// Writes a whole buffer to a file, reporting a short write.
void writeAll(const fs::path& path, const std::string& data, const std::string& fileName) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) fail(fileName, "the folder cannot be written to");
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  if (std::fclose(f) != 0 || !ok) fail(fileName, "writing the file failed (is the disk full?)");
}

// Every text of the sheet must be UTF-8: other bytes would make the file unreadable.
void checkTexts(const Sheet& sheet, const std::string& fileName) {
  if (invalidUtf8At(sheet.name()) != std::string::npos)
    fail(fileName, "a sheet name is not valid UTF-8 text");
  const auto area = sheet.usedArea();
  if (!area) return;
  for (std::int32_t c = area->left; c <= area->right; ++c)
    for (std::int32_t r = area->top; r <= area->bottom; ++r)
      if (sheet.kind(r, c) == CellKind::Text && invalidUtf8At(sheet.text(r, c)) != std::string::npos)
        fail(fileName, "cell " + cellName(r, c) + ": the text is not valid UTF-8 (in the sheet \"" +
                           sheet.name() + "\")");
}

// ---------------------------------------------------------------- .xlsx

// XML text with the xlsx escapes: characters XML cannot hold (NUL and the other controls,
// U+FFFE/U+FFFF) and carriage returns, which XML would turn into line feeds, as _xHHHH_;
// an underscore that would start such an escape as _x005F_.
void appendXmlText(std::string& out, std::string_view text) {
  auto hex = [&](unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "_x%04X_", v);
    out += b;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '_':
        if (i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_' &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 4])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 5])))
          hex('_');
        else
          out += '_';
        break;
      default:
        if ((c < 0x20 && c != '\t' && c != '\n') || c == '\r') {
          hex(c);
        } else if (c == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xBE ||
                    static_cast<unsigned char>(text[i + 2]) == 0xBF)) {
          hex(static_cast<unsigned char>(text[i + 2]) == 0xBE ? 0xFFFE : 0xFFFF);
          i += 2;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
}

// Sheet names as the format allows them: at most 31 characters, none of : \ / ? * [ ],
// each unique; a longer name is cut (as spreadsheets cut it) and numbered if the cut
// collides.
std::vector<std::string> xlsxSheetNames(const Workbook& workbook) {
  std::vector<std::string> names;
  std::unordered_set<std::string> used;
  auto key = [](std::string s) { return lower(std::move(s)); };
  auto cut = [](const std::string& s, std::size_t chars) {
    std::size_t i = 0, n = 0;
    while (i < s.size() && n < chars) {
      ++i;
      while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
      ++n;
    }
    return s.substr(0, i);
  };
  for (int s = 0; s < workbook.sheetCount(); ++s) {
    std::string name = workbook.sheet(s).name();
    for (char& c : name)
      if (std::string_view(":\\/?*[]").find(c) != std::string_view::npos ||
          static_cast<unsigned char>(c) < 0x20)
        c = '_';
    std::string candidate = cut(name, kMaxXlsxSheetName);
    for (int n = 2; candidate.empty() || used.count(key(candidate)); ++n) {
      const std::string suffix = "~" + std::to_string(n);
      candidate = cut(name.empty() ? "Sheet" : name, kMaxXlsxSheetName - suffix.size()) + suffix;
    }
    used.insert(key(candidate));
    names.push_back(candidate);
  }
  return names;
}

class SharedStrings {
 public:
  std::size_t index(const std::string& text) {
    const auto [it, inserted] = map_.try_emplace(text, order_.size());
    if (inserted) order_.push_back(&it->first);
    ++count_;
    return it->second;
  }
  std::string xml() const {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"" +
        std::to_string(count_) + "\" uniqueCount=\"" + std::to_string(order_.size()) + "\">";
    for (const std::string* s : order_) {
      out += "<si><t xml:space=\"preserve\">";
      appendXmlText(out, *s);
      out += "</t></si>";
    }
    out += "</sst>";
    return out;
  }

 private:
  std::unordered_map<std::string, std::size_t> map_;
  std::vector<const std::string*> order_;
  std::size_t count_ = 0;
};

std::string sheetXml(const Sheet& sheet, SharedStrings& strings) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">";
  const auto area = sheet.usedArea();
  out += "<dimension ref=\"" +
         (area ? cellName(area->top, area->left) + ":" + cellName(area->bottom, area->right)
               : std::string("A1")) +
         "\"/><sheetData>";
  if (area) {
    std::string ref;
    for (std::int32_t r = area->top; r <= area->bottom; ++r) {
      bool open = false;
      for (std::int32_t c = area->left; c <= area->right; ++c) {
        const CellKind kind = sheet.kind(r, c);
        if (kind == CellKind::Empty) continue;
        if (!open) {
          out += "<row r=\"" + std::to_string(r) + "\">";
          open = true;
        }
        out += "<c r=\"";
        out += cellName(r, c);
        switch (kind) {
          case CellKind::Number:
            out += "\"><v>" + formatNumber(sheet.number(r, c)) + "</v></c>";
            break;
          case CellKind::Date: {
            const double d = sheet.number(r, c);
            out += d == std::trunc(d) ? "\" s=\"1\"><v>" : "\" s=\"2\"><v>";
            out += formatNumber(d) + "</v></c>";
            break;
          }
          case CellKind::Boolean:
            out += sheet.number(r, c) != 0 ? "\" t=\"b\"><v>1</v></c>" : "\" t=\"b\"><v>0</v></c>";
            break;
          case CellKind::Error:
            out += "\" t=\"e\"><v>";
            out += errorText(static_cast<std::int32_t>(sheet.number(r, c)));
            out += "</v></c>";
            break;
          case CellKind::Text:
            out += "\" t=\"s\"><v>" + std::to_string(strings.index(sheet.text(r, c))) + "</v></c>";
            break;
          case CellKind::Empty:
            break;
        }
      }
      if (open) out += "</row>";
    }
  }
  out += "</sheetData></worksheet>";
  return out;
}

// Owns a libzip archive being written until it is closed or discarded.
class ZipWriter {
 public:
  ZipWriter(const fs::path& path, const std::string& fileName) : fileName_(fileName) {
    int error = 0;
    archive_ = zip_open(path.c_str(), ZIP_TRUNCATE, &error);
    if (!archive_) fail(fileName, "the file cannot be created");
  }
  ~ZipWriter() {
    if (archive_) zip_discard(archive_);
  }
  void add(const std::string& name, std::string data) {
    buffers_.push_back(std::make_unique<std::string>(std::move(data)));
    const std::string& b = *buffers_.back();
    zip_source_t* source = zip_source_buffer(archive_, b.data(), b.size(), 0);
    if (!source) fail(fileName_, "there is not enough memory");
    const zip_int64_t index = zip_file_add(archive_, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      fail(fileName_, "there is not enough memory");
    }
    zip_set_file_compression(archive_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 6);
  }
  void close() {
    if (zip_close(archive_) != 0) fail(fileName_, "writing the file failed (is the disk full?)");
    archive_ = nullptr;
  }

 private:
  zip_t* archive_ = nullptr;
  std::string fileName_;
  std::vector<std::unique_ptr<std::string>> buffers_;
};

void exportXlsx(const Workbook& workbook, const fs::path& target, const std::string& fileName) {
  if (workbook.sheetCount() == 0) fail(fileName, "the workbook has no worksheet");
  for (int s = 0; s < workbook.sheetCount(); ++s) checkTexts(workbook.sheet(s), fileName);
  const std::vector<std::string> names = xlsxSheetNames(workbook);
  TempFile temp(target, fileName);
  {
    ZipWriter zip(temp.path(), fileName);
    SharedStrings strings;
    std::string types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/xl/workbook.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
        "<Override PartName=\"/xl/styles.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
        "<Override PartName=\"/xl/sharedStrings.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
    std::string book =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<workbookPr/><bookViews><workbookView activeTab=\"" +
        std::to_string(workbook.activeSheetIndex()) + "\"/></bookViews><sheets>";
    std::string rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (int s = 0; s < workbook.sheetCount(); ++s) {
      const std::string n = std::to_string(s + 1);
      zip.add("xl/worksheets/sheet" + n + ".xml", sheetXml(workbook.sheet(s), strings));
      types += "<Override PartName=\"/xl/worksheets/sheet" + n +
               ".xml\" "
               "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
      book += "<sheet name=\"";
      appendXmlText(book, names[static_cast<std::size_t>(s)]);
      book += "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
      rels += "<Relationship Id=\"rId" + n +
              "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
              "Target=\"worksheets/sheet" +
              n + ".xml\"/>";
    }
    const std::string count = std::to_string(workbook.sheetCount());
    rels += "<Relationship Id=\"rId" + std::to_string(workbook.sheetCount() + 1) +
            "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
            "Target=\"styles.xml\"/><Relationship Id=\"rId" +
            std::to_string(workbook.sheetCount() + 2) +
            "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
            "Target=\"sharedStrings.xml\"/></Relationships>";
    book += "</sheets></workbook>";
    types += "</Types>";
    zip.add("[Content_Types].xml", std::move(types));
    zip.add("_rels/.rels",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
            "Target=\"xl/workbook.xml\"/></Relationships>");
    zip.add("xl/workbook.xml", std::move(book));
    zip.add("xl/_rels/workbook.xml.rels", std::move(rels));
    zip.add(
        "xl/styles.xml",
        std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                    "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"") +
            kDateTimeFormat +
            "\"/></numFmts>"
            "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
            "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
            "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
            "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
            "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
            "borderId=\"0\"/></cellStyleXfs>"
            "<cellXfs count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
            "<xf numFmtId=\"14\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
            "applyNumberFormat=\"1\"/>"
            "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
            "applyNumberFormat=\"1\"/>"
            "</cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
            "</cellStyles></styleSheet>");
    zip.add("xl/sharedStrings.xml", strings.xml());
    (void)count;
    zip.close();
  }
  temp.commit();
}

// ---------------------------------------------------------------- .csv

// Whether the reader would take this text for something other than the same text: a number,
// Boolean, date or error, a leading apostrophe; and whether a spreadsheet would run it as a
// formula (= + - @, or a tab or carriage return before one).
bool needsApostrophe(const std::string& text, const CsvOptions& options) {
  if (text.empty()) return false;
  const char c = text.front();
  if (c == '=' || c == '+' || c == '-' || c == '@' || c == '\'' || c == '\t' || c == '\r') return true;
  if (parseNumber(text, options.decimalMark)) return true;
  if (platform::equalsNoCase(text, "TRUE") || platform::equalsNoCase(text, "FALSE")) return true;
  double date = 0;
  if (platform::parseOleDate(text, date)) return true;
  return errorFromText(text).has_value();
}

std::string quoted(const std::string& text, const CsvOptions& options) {
  const bool quote = text.find_first_of(std::string("\"\r\n") + options.separator) != std::string::npos ||
                     text.front() == ' ' || text.back() == ' ';
  if (!quote) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string csvField(const Sheet& sheet, std::int32_t row, std::int32_t col, const CsvOptions& options) {
  switch (sheet.kind(row, col)) {
    case CellKind::Number:
      return formatNumber(sheet.number(row, col), options.decimalMark);
    case CellKind::Date:
      return platform::formatOleDate(sheet.number(row, col));
    case CellKind::Boolean:
      return sheet.number(row, col) != 0 ? "TRUE" : "FALSE";
    case CellKind::Error:
      return std::string(errorText(static_cast<std::int32_t>(sheet.number(row, col))));
    case CellKind::Text: {
      const std::string& text = sheet.text(row, col);
      return quoted(needsApostrophe(text, options) ? "'" + text : text, options);
    }
    case CellKind::Empty:
      break;
  }
  return {};
}

void exportCsvSheet(const Sheet& sheet, const fs::path& target, const std::string& fileName,
                    const CsvOptions& options) {
  checkTexts(sheet, fileName);
  TempFile temp(target, fileName);
  std::string data;
  if (const auto area = sheet.usedArea()) {
    for (std::int32_t row = 1; row <= area->bottom; ++row) {
      for (std::int32_t col = 1; col <= area->right; ++col) {
        if (col > 1) data += options.separator;
        data += csvField(sheet, row, col, options);
      }
      data += "\r\n";
    }
  }
  writeAll(temp.path(), data, fileName);
  temp.commit();
}

// "<stem>-<sheet><ext>" beside the target, with the characters a file name cannot hold
// replaced.
fs::path sheetFile(const fs::path& target, const std::string& sheetName) {
  std::string name = sheetName;
  for (char& c : name)
    if (c == '/' || c == '\0') c = '_';
  return target.parent_path() / (target.stem().string() + "-" + name + target.extension().string());
}

}  // namespace

std::vector<std::string> exportWorkbook(const Workbook& workbook, const std::string& path,
                                        const ExportOptions& options) {
  const std::string fileName = fs::path(path).filename().string();
  const std::string ext = lower(fs::path(path).extension().string());
  if (ext == ".xlsx") {
    exportXlsx(workbook, followLinks(path, fileName), fileName);
    return {path};
  }
  if (ext != ".csv" && ext != ".txt") fail(fileName, "workbooks are saved as .xlsx or .csv files");
  const CsvOptions& csv = options.csv;
  if (csv.separator == csv.decimalMark)
    fail(fileName, "the field separator and the decimal mark must differ");
  if (csv.separator == '"' || csv.separator == '\n' || csv.separator == '\r' || csv.separator == '\'')
    fail(fileName, "the field separator cannot be a quote or a line break");
  if (workbook.sheetCount() == 0) fail(fileName, "the workbook has no worksheet");
  switch (options.sheets) {
    case ExportOptions::Sheets::Active:
      exportCsvSheet(*workbook.activeSheet(), followLinks(path, fileName), fileName, csv);
      return {path};
    case ExportOptions::Sheets::Named: {
      const auto sheet = workbook.findSheet(options.sheetName);
      if (!sheet) fail(fileName, "the workbook has no sheet \"" + options.sheetName + "\"");
      exportCsvSheet(*sheet, followLinks(path, fileName), fileName, csv);
      return {path};
    }
    case ExportOptions::Sheets::All:
      break;
  }
  std::vector<std::string> written;
  for (int s = 0; s < workbook.sheetCount(); ++s) {
    const fs::path file = sheetFile(path, workbook.sheet(s).name());
    const std::string name = file.filename().string();
    exportCsvSheet(workbook.sheet(s), followLinks(file, name), name, csv);
    written.push_back(file.string());
  }
  return written;
}

void exportWorkbook(const Workbook& workbook, const std::string& path) {
  exportWorkbook(workbook, path, ExportOptions{});
}

}  // namespace host
