#include "mlp/workbench/qt/output_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

COutputPage::COutputPage(VantorSession& session, ExcelConnection& connection, QWidget* parent)
    : QWidget(parent),
      session_(session),
      connection_(connection),
      useActive_(new QCheckBox(tr("Use active Excel Worksheet"), this)),
      workbooks_(new QComboBox(this)),
      worksheets_(new QComboBox(this)),
      answersOnly_(new QRadioButton(tr("Output: only network answers"), this)),
      allData_(new QRadioButton(tr("Output: all data"), this)),
      firstCell_(new QLineEdit(this)),
      output_(new QPushButton(tr("Output"), this)) {
  setWindowTitle(tr("Output"));
  auto* placeGroup = new QGroupBox(tr("Output place"), this);
  auto* placeForm = new QFormLayout;
  placeForm->addRow(useActive_);
  placeForm->addRow(tr("Select Workbook:"), workbooks_);
  placeForm->addRow(tr("Select Worksheet:"), worksheets_);
  placeGroup->setLayout(placeForm);
  workbooks_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  worksheets_->setSizeAdjustPolicy(QComboBox::AdjustToContents);

  auto* kinds = new QButtonGroup(this);
  kinds->addButton(answersOnly_, static_cast<int>(OutputKind::AnswersOnly));
  kinds->addButton(allData_, static_cast<int>(OutputKind::AllData));
  const OutputKind kind = session_.outputKind();
  (kind == OutputKind::AllData ? allData_ : answersOnly_)->setChecked(true);

  auto* optionsGroup = new QGroupBox(tr("Output options"), this);
  auto* optionsForm = new QFormLayout;
  optionsForm->addRow(answersOnly_);
  optionsForm->addRow(allData_);
  optionsForm->addRow(tr("Left upper cell of output:"), firstCell_);
  optionsGroup->setLayout(optionsForm);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(output_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(placeGroup);
  layout->addWidget(optionsGroup);
  layout->addStretch(1);
  layout->addLayout(buttons);

  const OutputPlace& kept = session_.outputPlace();
  useActive_->setChecked(kept.useActive);
  firstCell_->setText(QString::fromStdString(kept.firstCell));
  workbooks_->setEnabled(false);
  worksheets_->setEnabled(false);
  output_->setDefault(true);
  connect(firstCell_, &QLineEdit::returnPressed, output_, &QPushButton::click);

  connect(useActive_, &QCheckBox::clicked, this, &COutputPage::useActiveClicked);
  // The worksheet list follows the workbook chosen when the drop-down closes.
  connect(workbooks_, &QComboBox::activated, this, &COutputPage::workbookChosen);
  connect(output_, &QPushButton::clicked, this, [this] { output(); });
  session_.addObserver(this);
}

COutputPage::~COutputPage() {
  session_.removeObserver(this);
}

void COutputPage::activatePage() {
  if (!filled_) {
    // The lists start with the active workbook and sheet, whatever the box shows.
    filled_ = true;
    OutputPlace place = placeFromControls();
    if (place.useActive) {
      fillActiveTarget(connection_, place);
    } else {
      fillAllTargets(connection_, place);
    }
    showPlace(place);
  }
  output_->setEnabled(!session_.isTraining());
}

void COutputPage::sessionChanged(unsigned changes) {
  if (changes & kTrainingStateChanged) output_->setEnabled(!session_.isTraining());
}

OutputPlace COutputPage::placeFromControls() const {
  OutputPlace place;
  place.useActive = useActive_->isChecked();
  for (int i = 0; i < workbooks_->count(); ++i)
    place.workbooks.push_back(workbooks_->itemText(i).toStdString());
  place.selectedWorkbook = workbooks_->currentIndex();
  for (int i = 0; i < worksheets_->count(); ++i)
    place.worksheets.push_back(worksheets_->itemText(i).toStdString());
  place.selectedWorksheet = worksheets_->currentIndex();
  place.listsEnabled = workbooks_->isEnabled();
  place.firstCell = firstCell_->text().toStdString();
  return place;
}

OutputKind COutputPage::kindFromControls() const {
  return allData_->isChecked() ? OutputKind::AllData : OutputKind::AnswersOnly;
}

void COutputPage::showPlace(const OutputPlace& place) {
  const auto fill = [](QComboBox* list, const std::vector<std::string>& names, int selected) {
    const QSignalBlocker quiet(list);
    list->clear();
    for (const std::string& name : names) list->addItem(QString::fromStdString(name));
    list->setCurrentIndex(selected < list->count() ? selected : -1);
  };
  fill(workbooks_, place.workbooks, place.selectedWorkbook);
  fill(worksheets_, place.worksheets, place.selectedWorksheet);
  workbooks_->setEnabled(place.listsEnabled);
  worksheets_->setEnabled(place.listsEnabled);
  useActive_->setChecked(place.useActive);
  if (firstCell_->text().toStdString() != place.firstCell)
    firstCell_->setText(QString::fromStdString(place.firstCell));
}

void COutputPage::useActiveClicked() {
  OutputPlace place = placeFromControls();
  place.workbooks.clear();
  place.worksheets.clear();
  if (place.useActive) {
    fillActiveTarget(connection_, place);
  } else {
    fillAllTargets(connection_, place);
  }
  showPlace(place);
}

void COutputPage::workbookChosen() {
  OutputPlace place = placeFromControls();
  fillWorksheets(connection_, place);
  showPlace(place);
}

OutputWriter::Outcome COutputPage::output() {
  OutputPlace place = placeFromControls();
  const OutputWriter::Outcome outcome = session_.Output(place, kindFromControls());
  showPlace(place);
  return outcome;
}
