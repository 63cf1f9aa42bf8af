#include "kohonen/workbench/qt/dialogs/create_network_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "kohonen/workbench/gridwise_messages.h"
#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/qt/dialogs/dialog_support.h"

using gridwise_dialogs::qs;

namespace {

// The field's integer, or a size below the range for anything else, so that the request's check
// refuses it with its message.
std::int32_t sizeIn(const QLineEdit& field) {
  const std::optional<long long> value = gridwise_dialogs::fieldInteger(field);
  if (!value || *value < NetworkSizeRequest::kMinSize || *value > NetworkSizeRequest::kMaxSize)
    return NetworkSizeRequest::kMinSize - 1;
  return static_cast<std::int32_t>(*value);
}

bool acceptable(std::int32_t size) {
  return size >= NetworkSizeRequest::kMinSize && size <= NetworkSizeRequest::kMaxSize;
}

}  // namespace

CreateNetworkDialog::CreateNetworkDialog(NetworkSizeRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setWindowTitle(qs(request.dialogTitle()));
  rows_ = new QLineEdit(QString::number(request_.rows), this);
  columns_ = new QLineEdit(QString::number(request_.columns), this);
  for (QLineEdit* field : {rows_, columns_}) field->setMaxLength(10);

  auto* form = new QFormLayout;
  form->addRow(QString::fromUtf8(NetworkSizeRequest::kRowsPrompt), rows_);
  form->addRow(QString::fromUtf8(NetworkSizeRequest::kColumnsPrompt), columns_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CreateNetworkDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CreateNetworkDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  rows_->setFocus();
  rows_->selectAll();
}

void CreateNetworkDialog::accept() {
  // The fields are checked in their order; the first refused one keeps the dialog open.
  request_.rows = sizeIn(*rows_);
  request_.columns = sizeIn(*columns_);
  if (const std::optional<std::string> problem = request_.problem()) {
    gridwiseMessage(*problem, kWarningBox);
    gridwise_dialogs::focusRefusedField(acceptable(request_.rows) ? *columns_ : *rows_);
    return;
  }
  QDialog::accept();
}
