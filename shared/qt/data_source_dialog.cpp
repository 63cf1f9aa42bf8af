#include "shared/qt/data_source_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

DataSourceDialog::DataSourceDialog(DataSourceRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setWindowTitle(QString::fromStdString(request.dialogTitle()));
  auto* layout = new QVBoxLayout(this);

  layout->addWidget(new QLabel(tr("Enter columns with data (for example: A-E,F,G,K-AA):"), this));
  columns_ = new QLineEdit(QString::fromStdString(request.choice.columns), this);
  columns_->setObjectName("columns");
  columns_->setMaxLength(static_cast<int>(DataSourceRequest::kMaxColumnText));
  layout->addWidget(columns_);

  auto* rows = new QFormLayout;
  firstRow_ = new QLineEdit(QString::number(request.choice.firstRow), this);
  firstRow_->setObjectName("firstRow");
  lastRow_ = new QLineEdit(QString::number(request.choice.lastRow), this);
  lastRow_->setObjectName("lastRow");
  for (QLineEdit* edit : {firstRow_, lastRow_}) {
    edit->setValidator(new QIntValidator(1, request.maxRows(), edit));
    connect(edit, &QLineEdit::textChanged, this, [this] { updateOk(); });
  }
  rows->addRow(tr("Enter first row:"), firstRow_);
  rows->addRow(tr("Enter last row:"), lastRow_);
  layout->addLayout(rows);

  names_ = new QCheckBox(tr("Use first row as column names"), this);
  names_->setObjectName("namesInFirstRow");
  names_->setChecked(request.choice.namesInFirstRow);
  layout->addWidget(names_);
  if (request.offersRowIds()) {
    rowIds_ = new QCheckBox(tr("Use data in the first column as row ID "), this);
    rowIds_->setObjectName("rowIdsInFirstColumn");
    rowIds_->setChecked(request.choice.rowIdsInFirstColumn);
    layout->addWidget(rowIds_);
  }

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons_);
  updateOk();
}

int DataSourceDialog::run(DataSourceRequest& request) {
  DataSourceDialog dialog(request, QApplication::activeWindow());
  return dialog.exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
}

bool DataSourceDialog::rowValue(const QLineEdit* edit, std::int32_t& row) const {
  bool ok = false;
  const long long value = edit->text().trimmed().toLongLong(&ok);
  if (!ok || !request_.rowInRange(value)) return false;
  row = static_cast<std::int32_t>(value);
  return true;
}

bool DataSourceDialog::okEnabled() const {
  return buttons_->button(QDialogButtonBox::Ok)->isEnabled();
}

void DataSourceDialog::updateOk() {
  std::int32_t first = 0, last = 0;
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(rowValue(firstRow_, first) && rowValue(lastRow_, last));
}

void DataSourceDialog::accept() {
  std::int32_t first = 0, last = 0;
  if (!rowValue(firstRow_, first) || !rowValue(lastRow_, last)) return;
  request_.choice.columns = columns_->text().toStdString();
  request_.choice.firstRow = first;
  request_.choice.lastRow = last;
  request_.choice.namesInFirstRow = names_->isChecked();
  request_.choice.rowIdsInFirstColumn = rowIds_ && rowIds_->isChecked();
  QDialog::accept();
}
