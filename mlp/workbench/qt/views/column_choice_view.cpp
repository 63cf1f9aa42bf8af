#include "mlp/workbench/qt/views/column_choice_view.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

// --- Column choice -----------------------------------------------------------------------------

ColumnChoiceView::ColumnChoiceView(ColumnChoiceDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QString::fromStdString(model_.dialogTitle()));
  const bool inputs = model_.side() == ColumnChoiceDialog::Side::Inputs;

  allData_ = new QListWidget(this);
  allData_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (const std::string& name : model_.allData()) allData_->addItem(QString::fromStdString(name));
  chosen_ = new QListWidget(this);
  // The outputs list only shows the choice.
  chosen_->setSelectionMode(inputs ? QAbstractItemView::ExtendedSelection : QAbstractItemView::NoSelection);

  add_ = new QPushButton(tr(">>"), this);
  if (model_.hasRemove()) remove_ = new QPushButton(tr("<"), this);
  selectAll_ = new QPushButton(tr("Select all"), this);
  clear_ = new QPushButton(tr("Clear"), this);
  normalise_ = new QPushButton(tr("Normalization..."), this);
  ok_ = new QPushButton(tr("OK"), this);
  cancel_ = new QPushButton(tr("Cancel"), this);
  ok_->setDefault(true);

  auto* middle = new QVBoxLayout;
  middle->addStretch();
  middle->addWidget(add_);
  if (remove_) middle->addWidget(remove_);
  middle->addStretch();

  auto* lists = new QGridLayout;
  auto* allLabel = new QLabel(tr("All Data"), this);
  allLabel->setBuddy(allData_);
  auto* chosenLabel = new QLabel(inputs ? tr("Inputs") : tr("Outputs"), this);
  chosenLabel->setBuddy(chosen_);
  lists->addWidget(allLabel, 0, 0);
  lists->addWidget(chosenLabel, 0, 2);
  lists->addWidget(allData_, 1, 0);
  lists->addLayout(middle, 1, 1);
  lists->addWidget(chosen_, 1, 2);
  lists->setColumnStretch(0, 1);
  lists->setColumnStretch(2, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(selectAll_);
  buttons->addWidget(clear_);
  buttons->addWidget(normalise_);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(lists, 1);
  layout->addLayout(buttons);
  resize(520, 360);

  connect(allData_, &QListWidget::itemSelectionChanged, this, [this] {
    if (updating_) return;
    readSelections();
    updateButtons();
  });
  connect(chosen_, &QListWidget::itemSelectionChanged, this, [this] {
    if (updating_) return;
    readSelections();
    updateButtons();
  });
  connect(add_, &QPushButton::clicked, this, [this] {
    readSelections();
    model_.addSelected();
    showAllDataSelection();
    refillChosen();
  });
  if (remove_)
    connect(remove_, &QPushButton::clicked, this, [this] {
      readSelections();
      model_.removeSelected();
      refillChosen();
    });
  connect(selectAll_, &QPushButton::clicked, this, [this] {
    model_.selectAll();
    showAllDataSelection();
    updateButtons();
  });
  connect(clear_, &QPushButton::clicked, this, [this] {
    model_.clear();
    refillChosen();
  });
  connect(normalise_, &QPushButton::clicked, this, [this] {
    model_.normalise();
    updateButtons();
  });
  connect(ok_, &QPushButton::clicked, this, [this] {
    if (model_.canAccept()) accept();
  });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  // The model's selections as the dialog opens.
  showAllDataSelection();
  refillChosen();
}

void ColumnChoiceView::readSelections() {
  for (int i = 0; i < allData_->count() && i < static_cast<int>(model_.allDataSelected.size()); ++i)
    model_.allDataSelected[static_cast<std::size_t>(i)] = allData_->item(i)->isSelected();
  for (int i = 0; i < chosen_->count() && i < static_cast<int>(model_.chosenSelected.size()); ++i)
    model_.chosenSelected[static_cast<std::size_t>(i)] = chosen_->item(i)->isSelected();
}

void ColumnChoiceView::showAllDataSelection() {
  updating_ = true;
  for (int i = 0; i < allData_->count() && i < static_cast<int>(model_.allDataSelected.size()); ++i)
    allData_->item(i)->setSelected(model_.allDataSelected[static_cast<std::size_t>(i)]);
  updating_ = false;
}

void ColumnChoiceView::refillChosen() {
  updating_ = true;
  chosen_->clear();
  for (const std::string& name : model_.names()) chosen_->addItem(QString::fromStdString(name));
  if (model_.hasRemove())
    for (int i = 0; i < chosen_->count() && i < static_cast<int>(model_.chosenSelected.size()); ++i)
      chosen_->item(i)->setSelected(model_.chosenSelected[static_cast<std::size_t>(i)]);
  updating_ = false;
  updateButtons();
}

void ColumnChoiceView::updateButtons() {
  add_->setEnabled(model_.canAdd());
  if (remove_) remove_->setEnabled(model_.canRemove());
  clear_->setEnabled(model_.canClear());
  normalise_->setEnabled(model_.canNormalise());
  ok_->setEnabled(model_.canAccept());
}

// --- Normalisation -----------------------------------------------------------------------------

NormalisationView::NormalisationView(NormalisationDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QString::fromStdString(model_.dialogTitle()));
  auto* group = new QGroupBox(tr("Kind of normalization"), this);
  auto* groupLayout = new QVBoxLayout(group);
  auto* exclusive = new QButtonGroup(this);
  for (const NormalisationDialog::Option& option : model_.options()) {
    auto* button = new QRadioButton(QString::fromStdString(option.label), group);
    exclusive->addButton(button);
    groupLayout->addWidget(button);
    buttons_.push_back(button);
  }
  if (model_.selected >= 0 && model_.selected < buttonCount())
    buttons_[static_cast<std::size_t>(model_.selected)]->setChecked(true);

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(box, &QDialogButtonBox::accepted, this, &NormalisationView::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(box);
}

QRadioButton* NormalisationView::button(int index) const {
  return index >= 0 && index < buttonCount() ? buttons_[static_cast<std::size_t>(index)] : nullptr;
}

int NormalisationView::buttonCount() const {
  return static_cast<int>(buttons_.size());
}

void NormalisationView::accept() {
  for (int i = 0; i < buttonCount(); ++i)
    if (buttons_[static_cast<std::size_t>(i)]->isChecked()) model_.selected = i;
  QDialog::accept();
}
