#pragma once

#include <zip.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "host/cell_address.h"
#include "host/workbook_io.h"

namespace host::test {

using Parts = std::vector<std::pair<std::string, std::string>>;

// Writes a zip archive of the given members (stored deflated, in order).
inline void writeZip(const std::string& path, const Parts& parts) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  for (const auto& [name, data] : parts) {
    zip_source_t* s = zip_source_buffer(z, data.data(), data.size(), 0);
    ASSERT_NE(s, nullptr);
    ASSERT_GE(zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8), 0);
  }
  ASSERT_EQ(zip_close(z), 0);
}

inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// A minimal .xlsx package: the given worksheets' sheetData contents (names Sheet1, ...),
// shared strings (<si> items), styles (cellXfs and numFmts) and workbook properties.
struct XlsxSpec {
  std::vector<std::pair<std::string, std::string>> sheets;  // name, sheetData inner XML
  std::string sharedStrings;                                // <si>...</si>...
  std::string numFmts;                                      // <numFmt .../>...
  std::string cellXfs = "<xf numFmtId=\"0\"/>";
  std::string workbookPr;  // e.g. date1904="1"
  std::string calcPr;      // e.g. fullCalcOnLoad="1"
};

inline Parts xlsxParts(const XlsxSpec& spec) {
  const std::string ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  const std::string rns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  std::string book = "<?xml version=\"1.0\"?><workbook xmlns=\"" + ns + "\" xmlns:r=\"" + rns +
                     "\"><workbookPr " + spec.workbookPr + "/><sheets>";
  std::string rels =
      "<?xml version=\"1.0\"?><Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  Parts parts;
  for (std::size_t i = 0; i < spec.sheets.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    book += "<sheet name=\"" + spec.sheets[i].first + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rns + "/worksheet\" Target=\"worksheets/sheet" + n +
            ".xml\"/>";
    parts.emplace_back("xl/worksheets/sheet" + n + ".xml", "<?xml version=\"1.0\"?><worksheet xmlns=\"" + ns +
                                                               "\"><sheetData>" + spec.sheets[i].second +
                                                               "</sheetData></worksheet>");
  }
  book += "</sheets>";
  if (!spec.calcPr.empty()) book += "<calcPr " + spec.calcPr + "/>";
  book += "</workbook>";
  rels += "<Relationship Id=\"rS\" Type=\"" + rns + "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
  rels += "<Relationship Id=\"rT\" Type=\"" + rns + "/styles\" Target=\"/xl/styles.xml\"/></Relationships>";
  parts.emplace_back("[Content_Types].xml",
                     "<?xml version=\"1.0\"?><Types "
                     "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>");
  parts.emplace_back("_rels/.rels",
                     "<?xml version=\"1.0\"?><Relationships "
                     "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
                     "Id=\"rId1\" Type=\"" +
                         rns + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
  parts.emplace_back("xl/workbook.xml", book);
  parts.emplace_back("xl/_rels/workbook.xml.rels", rels);
  parts.emplace_back("xl/sharedStrings.xml",
                     "<?xml version=\"1.0\"?><sst xmlns=\"" + ns + "\">" + spec.sharedStrings + "</sst>");
  parts.emplace_back("xl/styles.xml", "<?xml version=\"1.0\"?><styleSheet xmlns=\"" + ns + "\"><numFmts>" +
                                          spec.numFmts +
                                          "</numFmts><cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs>" +
                                          "<cellXfs>" + spec.cellXfs + "</cellXfs></styleSheet>");
  return parts;
}

// Every sheet, name and cell of a the same in b.
inline void expectSameWorkbook(const Workbook& a, const Workbook& b) {
  ASSERT_EQ(a.sheetCount(), b.sheetCount());
  EXPECT_EQ(a.name(), b.name());
  EXPECT_EQ(a.path(), b.path());
  EXPECT_EQ(a.activeSheetIndex(), b.activeSheetIndex());
  for (int s = 0; s < a.sheetCount(); ++s) {
    const Sheet& x = a.sheet(s);
    const Sheet& y = b.sheet(s);
    EXPECT_EQ(x.name(), y.name());
    ASSERT_EQ(x.usedArea(), y.usedArea()) << x.name();
    if (!x.usedArea()) continue;
    const CellArea used = *x.usedArea();
    for (std::int32_t c = used.left; c <= used.right; ++c)
      for (std::int32_t r = used.top; r <= used.bottom; ++r) {
        ASSERT_EQ(x.kind(r, c), y.kind(r, c)) << x.name() << "!" << cellName(r, c);
        ASSERT_EQ(x.value(r, c), y.value(r, c)) << x.name() << "!" << cellName(r, c);
      }
  }
}

// An .ods package around a content.xml body (the tables inside office:spreadsheet).
inline Parts odsParts(const std::string& tables) {
  return {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
          {"content.xml",
           "<?xml version=\"1.0\"?><office:document-content"
           " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
           " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
           " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\""
           " xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\">"
           "<office:body><office:spreadsheet>" +
               tables + "</office:spreadsheet></office:body></office:document-content>"}};
}

}  // namespace host::test
