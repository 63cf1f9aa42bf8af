#pragma once

#include <QPointer>
#include <QWidget>

#include "mlp/workbench/vantor_dialogs.h"

// Shows every dialog model of vantor_dialogs.h as a real modal Qt dialog over the owner window
// and returns IDOK or IDCANCEL. The views are thin: they keep their widgets in step with the
// model's fields and call its rules (accept(), relayout(), addSelected(), ...). A model the
// presenter does not know counts as cancelled.
//
// GUI thread only. The owner may go away before the presenter; dialogs then have no parent.
class QtDialogPresenter final : public DialogPresenter {
 public:
  explicit QtDialogPresenter(QWidget* owner);
  void setOwner(QWidget* owner);
  int present(VantorDialog& dialog) override;

 private:
  QPointer<QWidget> owner_;
};
