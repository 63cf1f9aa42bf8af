#pragma once

#include <QDialog>
#include <array>

#include "platform/prompter.h"
#include "plugins/rprop/resilient_propagation.h"

class QLineEdit;

// "Rprop parameters": five decimal fields, the threads field (our addition: an integer 1 … 64,
// default the machine's cores) and OK/Cancel. On OK the fields are checked in the order initial,
// maximal, minimal, Nu (+), Nu (-), threads; the first one that is no number or lies outside its
// range gets the dialog framework's standard message and the focus, and the dialog stays open.
// Only when all fields pass are the values taken over, together. No check relates two fields.
class RpropParametersDialog final : public QDialog, public platform::ModalDialog {
  Q_OBJECT

 public:
  // The fields, in the order they appear (top to bottom).
  enum Field { Initial, Minimal, Maximal, Decrease, Increase, Threads, kFieldCount };

  RpropParametersDialog(const RpropParameters& parameters, QWidget* owner);

  // The values confirmed with OK, or the initial ones until then.
  const RpropParameters& parameters() const { return parameters_; }
  QLineEdit* field(Field f) const { return fields_[f]; }

  std::string dialogTitle() const override;
  int execModal() override;

 public slots:
  // OK: validates, stores and closes, or shows the message and keeps the dialog open.
  void accept() override;

 private:
  bool takeOver(Field f, double& value);
  bool takeOverThreads(int& threads);
  bool refuse(Field f, const std::string& message);

  RpropParameters parameters_;
  std::array<QLineEdit*, kFieldCount> fields_{};
};

// The plug-in's parameter editor: runs the dialog through the process-wide prompter.
int editRpropParameters(QWidget* owner, RpropParameters& parameters);
