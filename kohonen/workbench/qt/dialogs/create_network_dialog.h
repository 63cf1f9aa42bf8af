#pragma once

#include <QDialog>

class NetworkSizeRequest;
class QLineEdit;

// "Create Network": the number of rows and of columns of the new map, prefilled from the
// request. OK refuses a size outside 1 … 255 (or no integer at all) with the standard message
// and keeps the dialog open with the caret in the refused field.
class CreateNetworkDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit CreateNetworkDialog(NetworkSizeRequest& request, QWidget* parent = nullptr);

  void accept() override;

 private:
  NetworkSizeRequest& request_;
  QLineEdit* rows_;
  QLineEdit* columns_;
};
