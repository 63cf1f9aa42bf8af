#pragma once

// Office types shared by the Calc host's sources (not part of its interface).

#include <atomic>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ref.hxx>
#include <rtl/ustring.hxx>
#include <string>
#include <vector>

#include "host/calc/calc_office.h"
#include "host/sheet.h"
#include "platform/variant.h"

namespace host::calc {

namespace uno = com::sun::star::uno;
namespace sheet = com::sun::star::sheet;

class TerminateListener;

struct CalcOffice::Impl {
  uno::Reference<uno::XComponentContext> remote;
  uno::Reference<com::sun::star::frame::XDesktop2> desktop;
  rtl::Reference<TerminateListener> listener;
  pid_t started = 0;
  bool headless = false;
  mutable std::atomic<bool> gone{false};
  std::atomic<bool> terminated{false};
  // The document the Application calls active, when a batch run has fixed it.
  std::string pinnedDocument;

  // Throws CalcError when the office has gone.
  void check() const;
  // The open spreadsheet documents, in the office's order.
  std::vector<uno::Reference<sheet::XSpreadsheetDocument>> documents() const;
  uno::Reference<sheet::XSpreadsheetDocument> findDocument(const std::string& title) const;
  // The document the user works in: the office's current one when it is a spreadsheet, else
  // the first open spreadsheet; null when none is open.
  uno::Reference<sheet::XSpreadsheetDocument> activeDocument() const;
  // Turn an office failure into a CalcError: a runtime failure is a broken connection (the
  // office is then taken as gone), any other the office refusing the request.
  [[noreturn]] void lost(const uno::Exception& e) const;
  [[noreturn]] void refused(const uno::Exception& e) const;
  // Runs an office call with those failures turned into CalcErrors.
  template <class Call>
  auto guard(Call call) const -> decltype(call()) {
    check();
    try {
      return call();
    } catch (const uno::RuntimeException& e) {
      lost(e);
    } catch (const uno::Exception& e) {
      refused(e);
    }
  }
};

std::string toUtf8(const rtl::OUString& text);
rtl::OUString fromUtf8(std::string_view text);
std::string documentTitle(const uno::Reference<sheet::XSpreadsheetDocument>& document);
std::string sheetName(const uno::Reference<sheet::XSpreadsheet>& sheet);
SheetLimits sheetLimits(const uno::Reference<sheet::XSpreadsheet>& sheet);

// Reads a block as our variants: numbers, text, empty cells and errors (as the spreadsheet
// error numbers); a date is the number the office stores.
std::vector<platform::Variant> readBlock(const uno::Reference<sheet::XSpreadsheet>& sheet,
                                         const CellArea& area);
// Writes rows × cols values (row by row) in one block; false (nothing written) when one of
// them cannot live in a cell.
bool writeBlock(const uno::Reference<sheet::XSpreadsheet>& sheet, const CellArea& area,
                const std::vector<const platform::Variant*>& values);

}  // namespace host::calc
