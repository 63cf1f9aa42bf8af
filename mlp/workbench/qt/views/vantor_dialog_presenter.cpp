#include "mlp/workbench/qt/views/vantor_dialog_presenter.h"

#include <QApplication>

#include "mlp/workbench/qt/views/column_choice_view.h"
#include "mlp/workbench/qt/views/network_constructor_view.h"
#include "mlp/workbench/qt/views/training_dialog_views.h"

namespace {

template <class View, class Model>
int runView(Model& model, QWidget* owner) {
  View view(model, owner);
  view.setWindowTitle(QString::fromStdString(model.dialogTitle()));
  return view.exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
}

}  // namespace

QtDialogPresenter::QtDialogPresenter(QWidget* owner) : owner_(owner) {}

void QtDialogPresenter::setOwner(QWidget* owner) {
  owner_ = owner;
}

int QtDialogPresenter::present(VantorDialog& dialog) {
  QWidget* owner = owner_.data();
  if (auto* columns = dynamic_cast<ColumnChoiceDialog*>(&dialog))
    return runView<ColumnChoiceView>(*columns, owner);
  if (auto* normalisation = dynamic_cast<NormalisationDialog*>(&dialog))
    // Opened from a column dialog, which is then the active modal window.
    return runView<NormalisationView>(
        *normalisation, QApplication::activeModalWidget() ? QApplication::activeModalWidget() : owner);
  if (auto* constructor = dynamic_cast<NetworkConstructorDialog*>(&dialog))
    return runView<NetworkConstructorView>(*constructor, owner);
  if (auto* testSet = dynamic_cast<TestSetDialog*>(&dialog)) return runView<TestSetView>(*testSet, owner);
  if (auto* criteria = dynamic_cast<StoppingCriteriaDialog*>(&dialog))
    return runView<StoppingCriteriaView>(*criteria, owner);
  if (auto* randomization = dynamic_cast<RandomizationDialog*>(&dialog))
    return runView<RandomizationView>(*randomization, owner);
  if (auto* algorithm = dynamic_cast<SelectAlgorithmDialog*>(&dialog)) {
    runView<SelectAlgorithmView>(*algorithm, owner);
    // "Close" is its only way out; its buttons have already taken effect.
    return platform::IDOK;
  }
  return platform::IDCANCEL;
}
