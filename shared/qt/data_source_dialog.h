#pragma once

#include <QDialog>

#include "shared/range_reader.h"

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;

// "Select data source:": the column list, the first and last rows and whether the first row
// holds names (and, for Gridwise, whether the first column holds row IDs). OK stays disabled
// while a row is not a whole number from 1 to the host's row count; accepting writes the
// values back into the request.
class DataSourceDialog : public QDialog {
  Q_OBJECT

 public:
  DataSourceDialog(DataSourceRequest& request, QWidget* parent = nullptr);

  // Shows the dialog modally over the active window; IDOK or IDCANCEL.
  static int run(DataSourceRequest& request);

  QLineEdit* columnsEdit() const { return columns_; }
  QLineEdit* firstRowEdit() const { return firstRow_; }
  QLineEdit* lastRowEdit() const { return lastRow_; }
  QCheckBox* namesCheck() const { return names_; }
  QCheckBox* rowIdsCheck() const { return rowIds_; }  // null for Vantor
  bool okEnabled() const;

  void accept() override;

 private:
  void updateOk();
  bool rowValue(const QLineEdit* edit, std::int32_t& row) const;

  DataSourceRequest& request_;
  QLineEdit* columns_ = nullptr;
  QLineEdit* firstRow_ = nullptr;
  QLineEdit* lastRow_ = nullptr;
  QCheckBox* names_ = nullptr;
  QCheckBox* rowIds_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};
