#include "kohonen/workbench/qt/dialogs/selector_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "kohonen/workbench/qt/dialogs/dialog_support.h"
#include "kohonen/workbench/selector_request.h"

using gridwise_dialogs::qs;

namespace {

QListWidget* columnList(QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  return list;
}

void fill(QListWidget& list, const std::vector<std::int32_t>& columns,
          const std::vector<std::string>& names) {
  list.clear();
  for (std::int32_t c : columns) {
    auto* item = new QListWidgetItem(qs(names[static_cast<std::size_t>(c)]), &list);
    item->setData(Qt::UserRole, c);
  }
}

}  // namespace

SelectorDialog::SelectorDialog(ColumnSelectionRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setWindowTitle(qs(request.dialogTitle()));

  available_ = columnList(this);
  selected_ = columnList(this);
  select_ = new QPushButton(QStringLiteral(">"), this);
  selectAll_ = new QPushButton(QStringLiteral(">>"), this);
  deselect_ = new QPushButton(QStringLiteral("<"), this);
  deselectAll_ = new QPushButton(QStringLiteral("<<"), this);
  normalise_ = new QPushButton(QStringLiteral("Normalize..."), this);
  extract_ = new QCheckBox(QStringLiteral("Extract principal components"), this);
  extract_->setChecked(request_.extractComponents());

  auto* moves = new QVBoxLayout;
  moves->addStretch();
  for (QPushButton* b : {select_, selectAll_, deselect_, deselectAll_}) {
    b->setAutoDefault(false);
    moves->addWidget(b);
  }
  moves->addStretch();
  normalise_->setAutoDefault(false);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);

  auto* allLabel = new QLabel(QStringLiteral("All columns"), this);
  allLabel->setBuddy(available_);
  auto* selectedLabel = new QLabel(QStringLiteral("Selected"), this);
  selectedLabel->setBuddy(selected_);

  auto* grid = new QGridLayout;
  grid->addWidget(allLabel, 0, 0);
  grid->addWidget(selectedLabel, 0, 2);
  grid->addWidget(available_, 1, 0);
  grid->addLayout(moves, 1, 1);
  grid->addWidget(selected_, 1, 2);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(1, 1);

  auto* options = new QHBoxLayout;
  options->addWidget(normalise_);
  options->addSpacing(12);
  options->addWidget(extract_);
  options->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid, 1);
  layout->addLayout(options);
  layout->addWidget(buttons);

  connect(select_, &QPushButton::clicked, this, [this] {
    request_.select(highlighted(*available_));
    rebuildLists();
  });
  connect(selectAll_, &QPushButton::clicked, this, [this] {
    request_.selectAll();
    rebuildLists();
  });
  connect(deselect_, &QPushButton::clicked, this, [this] {
    request_.deselect(highlighted(*selected_));
    rebuildLists();
  });
  connect(deselectAll_, &QPushButton::clicked, this, [this] {
    request_.deselectAll();
    rebuildLists();
  });
  // A double click moves the one entry across, as its button would with it highlighted.
  connect(available_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    const std::int32_t c = item->data(Qt::UserRole).toInt();
    request_.select(std::span(&c, 1));
    rebuildLists();
  });
  connect(selected_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    const std::int32_t c = item->data(Qt::UserRole).toInt();
    request_.deselect(std::span(&c, 1));
    rebuildLists();
  });
  connect(available_, &QListWidget::itemSelectionChanged, this, &SelectorDialog::updateButtons);
  connect(selected_, &QListWidget::itemSelectionChanged, this, &SelectorDialog::updateButtons);
  connect(normalise_, &QPushButton::clicked, this, [this] { request_.normaliseCommand(); });
  connect(extract_, &QCheckBox::toggled, this, [this](bool on) { request_.setExtractComponents(on); });
  connect(buttons, &QDialogButtonBox::accepted, this, &SelectorDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SelectorDialog::reject);

  rebuildLists();
  resize(sizeHint().expandedTo(QSize(440, 320)));
}

void SelectorDialog::accept() {
  // OK is disabled without a selected column; Enter must not get round that.
  if (!request_.canAccept()) return;
  QDialog::accept();
}

void SelectorDialog::rebuildLists() {
  fill(*available_, request_.available(), request_.columnNames());
  fill(*selected_, request_.selected(), request_.columnNames());
  updateButtons();
}

void SelectorDialog::updateButtons() {
  select_->setEnabled(!available_->selectedItems().isEmpty());
  deselect_->setEnabled(!selected_->selectedItems().isEmpty());
  selectAll_->setEnabled(request_.canSelectAll());
  deselectAll_->setEnabled(request_.canDeselectAll());
  normalise_->setEnabled(request_.canNormalise());
  ok_->setEnabled(request_.canAccept());
}

std::vector<std::int32_t> SelectorDialog::highlighted(const QListWidget& list) {
  std::vector<std::int32_t> columns;
  for (int row = 0; row < list.count(); ++row)
    if (const QListWidgetItem* item = list.item(row); item->isSelected())
      columns.push_back(item->data(Qt::UserRole).toInt());
  return columns;
}

GridwiseNormalisationDialog::GridwiseNormalisationDialog(NormalisationRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setWindowTitle(qs(request.dialogTitle()));
  auto* group = new QGroupBox(QStringLiteral("Kind of normalization"), this);
  auto* groupLayout = new QVBoxLayout(group);
  for (const char* text : NormalisationRequest::kButtonTexts) {
    auto* button = new QRadioButton(QString::fromUtf8(text), group);
    groupLayout->addWidget(button);
    buttons_.push_back(button);
  }
  const bool known = request_.button >= 0 && request_.button < static_cast<int>(buttons_.size());
  buttons_[known ? static_cast<std::size_t>(request_.button) : 0]->setChecked(true);

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(box, &QDialogButtonBox::accepted, this, &GridwiseNormalisationDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &GridwiseNormalisationDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(box);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void GridwiseNormalisationDialog::accept() {
  for (std::size_t i = 0; i < buttons_.size(); ++i)
    if (buttons_[i]->isChecked()) request_.button = static_cast<int>(i);
  QDialog::accept();
}
