#include "mlp/workbench/qt/views/training_dialog_views.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace {

// The framework's box for a field that does not hold a number of its kind.
void refuseText(const char* text) {
  platform::prompter().messageBox(text, kVantorApplicationName, platform::MB_OK | platform::MB_ICONWARNING);
}

void focusField(QLineEdit* edit) {
  edit->setFocus();
  edit->selectAll();
}

// Decimal numbers are typed and shown with a point, whatever the locale.
QValidator* decimalValidator(QObject* parent) {
  auto* validator = new QDoubleValidator(parent);
  validator->setLocale(QLocale::c());
  validator->setNotation(QDoubleValidator::ScientificNotation);
  return validator;
}

std::optional<double> decimalIn(const QLineEdit* edit) {
  bool ok = false;
  const double value = QLocale::c().toDouble(edit->text().trimmed(), &ok);
  return ok ? std::optional<double>(value) : std::nullopt;
}

QString decimalText(double value) {
  return QString::number(value, 'g', 7);
}

QDialogButtonBox* okCancel(QDialog* dialog) {
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return box;
}

}  // namespace

// --- Test set --------------------------------------------------------------------------------

TestSetView::TestSetView(TestSetDialog& model, QWidget* parent) : QDialog(parent), model_(model) {
  setWindowTitle(QString::fromStdString(model_.dialogTitle()));
  total_ = new QLabel(QString::number(model_.totalExamples()), this);
  training_ = new QLabel(this);
  testCount_ = new QLineEdit(QString::number(model_.testCount), this);
  blockStart_ = new QLineEdit(QString::number(model_.blockStart), this);
  lastCount_ = new QLineEdit(QString::number(model_.lastCount), this);
  // Unsigned integers: digits only; the range is checked on OK.
  auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,10}")), this);
  for (QLineEdit* edit : {testCount_, blockStart_, lastCount_}) edit->setValidator(digits);

  auto* counts = new QFormLayout;
  counts->addRow(tr("Total number of examples:"), total_);
  counts->addRow(tr("Number of training examples:"), training_);
  counts->addRow(tr("Number of test examples:"), testCount_);

  // The third text has two blanks after its dash.
  const char* labels[4] = {"Random test set", "Test set - last examples", "Test set -  block of examples",
                           "Test set - random + last examples"};
  auto* modeGroup = new QGroupBox(this);
  auto* modeLayout = new QVBoxLayout(modeGroup);
  auto* exclusive = new QButtonGroup(this);
  for (int m = 0; m < 4; ++m) {
    modes_[m] = new QRadioButton(QString::fromLatin1(labels[m]), modeGroup);
    exclusive->addButton(modes_[m], m);
    modeLayout->addWidget(modes_[m]);
  }
  modes_[static_cast<int>(model_.mode)]->setChecked(true);

  auto* parameters = new QFormLayout;
  parameters->addRow(tr("First example of the block:"), blockStart_);
  parameters->addRow(tr("Amount of last examples:"), lastCount_);

  auto* box = okCancel(this);
  ok_ = box->button(QDialogButtonBox::Ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(counts);
  layout->addWidget(modeGroup);
  layout->addLayout(parameters);
  layout->addWidget(box);

  connect(testCount_, &QLineEdit::textChanged, this, [this] {
    readControls();
    updateControls();
  });
  connect(exclusive, &QButtonGroup::idClicked, this, [this] {
    readControls();
    updateControls();
  });
  updateControls();
}

QRadioButton* TestSetView::modeButton(TestSetMode mode) const {
  const int m = static_cast<int>(mode);
  return m >= 0 && m < 4 ? modes_[m] : nullptr;
}

void TestSetView::readControls() {
  for (int m = 0; m < 4; ++m)
    if (modes_[m]->isChecked()) model_.mode = static_cast<TestSetMode>(m);
  // Digits only, so a value fails to read only when empty or too large for the field: both are
  // out of range.
  auto count = [](const QLineEdit* edit) {
    bool ok = false;
    const qlonglong value = edit->text().toLongLong(&ok);
    return ok && value <= std::numeric_limits<std::int32_t>::max() ? static_cast<std::int32_t>(value) : -1;
  };
  model_.testCount = count(testCount_);
  model_.blockStart = count(blockStart_);
  model_.lastCount = count(lastCount_);
}

void TestSetView::updateControls() {
  training_->setText(model_.testCount >= 0 ? QString::number(model_.trainingExamples()) : QString());
  blockStart_->setEnabled(model_.blockStartEnabled());
  lastCount_->setEnabled(model_.lastCountEnabled());
}

void TestSetView::accept() {
  readControls();
  if (!model_.accept()) {
    switch (model_.refusedField()) {
      case TestSetDialog::Field::TestCount:
        focusField(testCount_);
        break;
      case TestSetDialog::Field::BlockStart:
        focusField(blockStart_);
        break;
      case TestSetDialog::Field::LastCount:
        focusField(lastCount_);
        break;
      case TestSetDialog::Field::None:
        break;
    }
    return;
  }
  QDialog::accept();
}

// --- Stopping criteria -----------------------------------------------------------------------

StoppingCriteriaView::StoppingCriteriaView(StoppingCriteriaDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QString::fromStdString(model_.dialogTitle()));
  const StoppingCriteria& criteria = model_.criteria;
  use_ = new QCheckBox(tr("Use stopping criteria"), this);
  use_->setChecked(criteria.useStoppingCriteria != 0);
  maxEpochs_ = new QLineEdit(QString::number(criteria.maxEpochs), this);
  maxEpochs_->setValidator(
      new QIntValidator(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), maxEpochs_));
  trainingLimit_ = new QLineEdit(decimalText(criteria.trainingErrorLimit), this);
  testLimit_ = new QLineEdit(decimalText(criteria.testErrorLimit), this);
  trainingLimit_->setValidator(decimalValidator(trainingLimit_));
  testLimit_->setValidator(decimalValidator(testLimit_));

  auto* form = new QFormLayout;
  form->addRow(use_);
  form->addRow(tr("Stop if number of epoches is over"), maxEpochs_);
  form->addRow(tr("Stop if training error is less than"), trainingLimit_);
  form->addRow(tr("Stop if test error is less than"), testLimit_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(okCancel(this));
}

void StoppingCriteriaView::accept() {
  bool ok = false;
  const int maxEpochs = maxEpochs_->text().trimmed().toInt(&ok);
  if (!ok) {
    refuseText("Please enter an integer.");
    focusField(maxEpochs_);
    return;
  }
  const std::optional<double> trainingLimit = decimalIn(trainingLimit_);
  if (!trainingLimit) {
    refuseText("Please enter a number.");
    focusField(trainingLimit_);
    return;
  }
  const std::optional<double> testLimit = decimalIn(testLimit_);
  if (!testLimit) {
    refuseText("Please enter a number.");
    focusField(testLimit_);
    return;
  }
  model_.criteria.useStoppingCriteria = use_->isChecked() ? 1 : 0;
  model_.criteria.maxEpochs = maxEpochs;
  model_.criteria.trainingErrorLimit = static_cast<float>(*trainingLimit);
  model_.criteria.testErrorLimit = static_cast<float>(*testLimit);
  QDialog::accept();
}

// --- Randomisation ---------------------------------------------------------------------------

RandomizationView::RandomizationView(RandomizationDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QString::fromStdString(model_.dialogTitle()));
  auto* group = new QGroupBox(tr("What do you want?"), this);
  randomize_ = new QRadioButton(tr("Randomize synapses"), group);
  noise_ = new QRadioButton(tr("Add noise to synapses"), group);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(randomize_);
  groupLayout->addWidget(noise_);
  (model_.randomization.kind == Randomization::Kind::AddNoise ? noise_ : randomize_)->setChecked(true);

  range_ = new QLineEdit(decimalText(model_.randomization.range), this);
  range_->setValidator(decimalValidator(range_));
  auto* form = new QFormLayout;
  form->addRow(tr("Enter range:"), range_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(form);
  layout->addWidget(okCancel(this));
}

void RandomizationView::accept() {
  // A text that is no number is refused with the range message, like one outside the range.
  model_.randomization.range = decimalIn(range_).value_or(std::numeric_limits<double>::quiet_NaN());
  model_.randomization.kind =
      noise_->isChecked() ? Randomization::Kind::AddNoise : Randomization::Kind::Randomize;
  if (!model_.accept()) {
    focusField(range_);
    return;
  }
  QDialog::accept();
}

// --- Algorithm selection ---------------------------------------------------------------------

SelectAlgorithmView::SelectAlgorithmView(SelectAlgorithmDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QString::fromStdString(model_.dialogTitle()));
  list_ = new QComboBox(this);
  for (const std::string& entry : model_.entries()) list_->addItem(QString::fromStdString(entry));
  list_->setCurrentIndex(model_.listSelection);
  current_ = new QLineEdit(this);
  current_->setReadOnly(true);
  description_ = new QPlainTextEdit(this);
  description_->setReadOnly(true);
  selectNew_ = new QPushButton(tr("Select new"), this);
  customize_ = new QPushButton(tr("Customize..."), this);
  close_ = new QPushButton(tr("Close"), this);
  close_->setDefault(true);

  auto* form = new QFormLayout;
  form->addRow(tr("Algorithms available"), list_);
  form->addRow(tr("Current algorithm"), current_);
  auto* descriptionLabel = new QLabel(tr("Description"), this);
  descriptionLabel->setBuddy(description_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(selectNew_);
  buttons->addWidget(customize_);
  buttons->addStretch();
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(descriptionLabel);
  layout->addWidget(description_, 1);
  layout->addLayout(buttons);
  resize(460, 320);

  connect(list_, &QComboBox::currentIndexChanged, this, [this](int index) { model_.listSelection = index; });
  connect(selectNew_, &QPushButton::clicked, this, [this] {
    model_.listSelection = list_->currentIndex();
    model_.selectNew();
    showModel();
  });
  connect(customize_, &QPushButton::clicked, this, [this] { model_.customize(this); });
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  showModel();
}

void SelectAlgorithmView::showModel() {
  current_->setText(QString::fromStdString(model_.currentAlgorithm()));
  description_->setPlainText(QString::fromStdString(model_.description()));
  customize_->setEnabled(model_.customizeEnabled());
}
