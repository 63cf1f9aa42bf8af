#include "plugins/rprop/rprop_parameters_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <cerrno>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kTitle = "Rprop parameters";
// Message boxes of the plug-in carry the library's name, as the dialog framework did.
constexpr const char* kCaption = "kestrel";
constexpr unsigned kMessageFlags = platform::MB_OK | platform::MB_ICONWARNING;

struct FieldSpec {
  const char* label;
  double low;
  double high;
};

// Labels and accepted ranges, in the order the fields appear.
constexpr FieldSpec kFields[] = {
    {"Initial delta", 0.0, 10.0}, {"Minimal delta", 0.0, 1.0}, {"Maximal delta", 0.0, 100.0},
    {"Nu (-) ", 0.0, 1.0},        {"Nu (+)", 1.0, 10.0},       {"Threads", 1.0, 64.0},
};
static_assert(sizeof kFields / sizeof kFields[0] == RpropParametersDialog::kFieldCount);
static_assert(int(kFields[RpropParametersDialog::Threads].high) == ResilientNetworkState::kMaxThreads);

// Numbers are shown and parsed as the dialog framework did: "%.*g" with every significant digit.
std::string formatNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", DBL_DIG, value);
  return text;
}

// A decimal number with optional surrounding blanks and nothing else.
bool parseNumber(const std::string& text, double& value) {
  const char* begin = text.c_str();
  char* end = nullptr;
  value = std::strtod(begin, &end);
  if (end == begin) return false;
  while (*end == ' ' || *end == '\t') ++end;
  return *end == '\0';
}

// A decimal integer with optional surrounding blanks and nothing else.
bool parseInteger(const std::string& text, long& value) {
  const char* begin = text.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE) return false;
  while (*end == ' ' || *end == '\t') ++end;
  return *end == '\0';
}

}  // namespace

RpropParametersDialog::RpropParametersDialog(const RpropParameters& parameters, QWidget* owner)
    : QDialog(owner), parameters_(parameters) {
  setWindowTitle(QString::fromUtf8(kTitle));
  auto* form = new QFormLayout;
  const double values[kFieldCount] = {parameters.initialStep,    parameters.minimalStep,
                                      parameters.maximalStep,    parameters.decreaseFactor,
                                      parameters.increaseFactor, double(parameters.threads)};
  for (int f = 0; f < kFieldCount; ++f) {
    fields_[f] = new QLineEdit(QString::fromStdString(formatNumber(values[f])), this);
    form->addRow(QString::fromUtf8(kFields[f].label), fields_[f]);
  }
  fields_[Threads]->setToolTip(
      QStringLiteral("Threads an epoch may use. Every count gives the same network; small training sets run "
                     "on one thread whatever the count."));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &RpropParametersDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &RpropParametersDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

std::string RpropParametersDialog::dialogTitle() const {
  return kTitle;
}

int RpropParametersDialog::execModal() {
  return exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
}

bool RpropParametersDialog::takeOver(Field f, double& value) {
  const FieldSpec& spec = kFields[f];
  std::string message;
  if (!parseNumber(fields_[f]->text().toStdString(), value))
    message = "Please enter a number.";
  else if (!(value >= spec.low && value <= spec.high))  // NaN is out of every range
    message =
        "Please enter a number between " + formatNumber(spec.low) + " and " + formatNumber(spec.high) + ".";
  return refuse(f, message);
}

bool RpropParametersDialog::takeOverThreads(int& threads) {
  const FieldSpec& spec = kFields[Threads];
  long value = 0;
  if (!parseInteger(fields_[Threads]->text().toStdString(), value))
    return refuse(Threads, "Please enter an integer.");
  if (value < long(spec.low) || value > long(spec.high))
    return refuse(Threads, "Please enter an integer between " + formatNumber(spec.low) + " and " +
                               formatNumber(spec.high) + ".");
  threads = static_cast<int>(value);
  return true;
}

// Shows the message (none: the field passed), then gives the field the focus with its text
// selected.
bool RpropParametersDialog::refuse(Field f, const std::string& message) {
  if (message.empty()) return true;
  platform::prompter().messageBox(message, kCaption, kMessageFlags);
  fields_[f]->setFocus();
  fields_[f]->selectAll();
  return false;
}

void RpropParametersDialog::accept() {
  RpropParameters edited = parameters_;
  if (!takeOver(Initial, edited.initialStep) || !takeOver(Maximal, edited.maximalStep) ||
      !takeOver(Minimal, edited.minimalStep) || !takeOver(Increase, edited.increaseFactor) ||
      !takeOver(Decrease, edited.decreaseFactor) || !takeOverThreads(edited.threads))
    return;
  parameters_ = edited;
  QDialog::accept();
}

int editRpropParameters(QWidget* owner, RpropParameters& parameters) {
  RpropParametersDialog dialog(parameters, owner);
  if (platform::prompter().runModal(dialog) != platform::IDOK) return 0;
  parameters = dialog.parameters();
  return 1;
}
