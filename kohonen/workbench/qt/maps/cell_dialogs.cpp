#include "kohonen/workbench/qt/maps/cell_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "kohonen/engine/cell_lookup.h"
#include "kohonen/workbench/cell_requests.h"
#include "kohonen/workbench/gridwise_messages.h"
#include "kohonen/workbench/qt/maps/new_map_dialog.h"

namespace {

constexpr char kListFull[] = "Out of memory!";

// The "Cell description" dialogs now open (one per modal level at most).
std::vector<CellDescriptionDialog*>& openDescriptions() {
  static std::vector<CellDescriptionDialog*> open;
  return open;
}

// Fills a list with lines; a list that cannot take another entry ends the filling with the
// tool's message.
bool fillList(QListWidget* list, const std::vector<std::string>& lines) {
  list->clear();
  try {
    QStringList items;
    items.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) items << QString::fromStdString(line);
    list->addItems(items);
    return true;
  } catch (const std::bad_alloc&) {
    gridwiseMessage(kListFull, kFailureBox);
    return false;
  }
}

QLabel* label(const char* text, QWidget* parent) {
  return new QLabel(QString::fromUtf8(text), parent);
}

}  // namespace

// --- CellDescriptionDialog

CellDescriptionDialog::CellDescriptionDialog(CellDescriptionRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setWindowTitle(QString::fromLatin1(CellDescriptionRequest::kTitle));
  auto* layout = new QGridLayout(this);

  cells_ = new QComboBox(this);
  cells_->setObjectName(QStringLiteral("activeCell"));
  {
    QStringList names;
    names.reserve(static_cast<qsizetype>(request_.cellNames().size()));
    for (const std::string& n : request_.cellNames()) names << QString::fromStdString(n);
    cells_->addItems(names);
  }
  cells_->setMaxVisibleItems(20);
  // Up to 65,025 names of one height: the list need not measure each.
  if (auto* view = qobject_cast<QListView*>(cells_->view())) view->setUniformItemSizes(true);
  auto* cellLabel = label(kActiveCell, this);
  cellLabel->setBuddy(cells_);
  auto* top = new QHBoxLayout;
  top->addWidget(cellLabel);
  top->addWidget(cells_, 1);
  top->addStretch(1);
  auto* countTitle = label(kPointCount, this);
  count_ = new QLabel(this);
  count_->setMinimumWidth(60);
  top->addWidget(countTitle);
  top->addWidget(count_);
  layout->addLayout(top, 0, 0, 1, 3);

  points_ = new QListWidget(this);
  centre_ = new QListWidget(this);
  averages_ = new QListWidget(this);
  const auto column = [&](int c, const char* title, QListWidget* list) {
    QLabel* l = label(title, this);
    l->setBuddy(list);
    layout->addWidget(l, 1, c);
    layout->addWidget(list, 2, c);
  };
  column(0, kDataPoints, points_);
  column(1, kCentre, centre_);
  column(2, kAverages, averages_);
  layout->setRowStretch(2, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons, 3, 0, 1, 3);

  // The lists follow the combo once its list closes on an entry.
  connect(cells_, &QComboBox::activated, this, [this](int entry) {
    request_.selectEntry(entry);
    refresh();
  });
  resize(640, 360);
  refresh();
  openDescriptions().push_back(this);
}

CellDescriptionDialog::~CellDescriptionDialog() {
  std::erase(openDescriptions(), this);
}

void CellDescriptionDialog::refresh() {
  cells_->setCurrentIndex(request_.selectedEntry());
  const CellDescription& d = request_.description();
  count_->setText(QString::number(d.count));
  if (!fillList(points_, d.rowIds)) return;
  if (!fillList(centre_, d.centreLines)) return;
  fillList(averages_, d.averageLines);
}

// --- CellFinderDialog

CellFinderDialog::CellFinderDialog(CellFinderRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setWindowTitle(QString::fromLatin1(CellFinderRequest::kTitle));
  auto* layout = new QGridLayout(this);

  showAll_ = new QCheckBox(QString::fromLatin1(kShowAll), this);
  showAll_->setChecked(request_.showAll());
  layout->addWidget(showAll_, 0, 0, 1, 2);

  substringLabel_ = label(kSubstring, this);
  text_ = new QLineEdit(QString::fromStdString(request_.text()), this);
  text_->setMaxLength(static_cast<int>(kMaxFinderText));
  text_->setObjectName(QStringLiteral("substring"));
  substringLabel_->setBuddy(text_);
  find_ = new QPushButton(QString::fromLatin1(kFind), this);
  auto* search = new QHBoxLayout;
  search->addWidget(substringLabel_);
  search->addWidget(text_, 1);
  search->addWidget(find_);
  layout->addLayout(search, 1, 0, 1, 2);

  ids_ = new QListWidget(this);
  ids_->setObjectName(QStringLiteral("foundIds"));
  layout->addWidget(ids_, 2, 0, 2, 1);
  auto* cellTitle = label(kCellOfId, this);
  cell_ = new QLabel(this);
  cell_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* cellRow = new QHBoxLayout;
  cellRow->addWidget(cellTitle);
  cellRow->addWidget(cell_, 1);
  layout->addLayout(cellRow, 2, 1);
  auto* otherBox = new QVBoxLayout;
  QLabel* otherTitle = label(kOtherPoints, this);
  others_ = new QListWidget(this);
  otherTitle->setBuddy(others_);
  otherBox->addWidget(otherTitle);
  otherBox->addWidget(others_, 1);
  layout->addLayout(otherBox, 3, 1);
  layout->setRowStretch(3, 1);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* close = buttons->addButton(QString::fromLatin1(kClose), QDialogButtonBox::AcceptRole);
  close->setAutoDefault(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons, 4, 0, 1, 2);
  // Enter in the substring field finds rather than closes.
  find_->setDefault(true);

  connect(showAll_, &QCheckBox::toggled, this, [this](bool on) {
    request_.setShowAll(on);
    if (!on) {
      request_.setText(text_->text().toStdString());
      request_.find();
    }
    fillIds();
  });
  connect(text_, &QLineEdit::textEdited, this,
          [this](const QString& t) { request_.setText(t.toStdString()); });
  connect(find_, &QPushButton::clicked, this, [this] {
    request_.setText(text_->text().toStdString());
    request_.find();
    fillIds();
  });
  connect(ids_, &QListWidget::currentRowChanged, this, [this](int entry) { showSelected(entry); });
  resize(560, 380);
  fillIds();
}

void CellFinderDialog::fillIds() {
  const bool all = request_.showAll();
  substringLabel_->setEnabled(!all);
  text_->setEnabled(!all);
  find_->setEnabled(!all);
  {
    const QSignalBlocker block(ids_);
    fillList(ids_, request_.listedIds());
  }
  showSelected(-1);
}

void CellFinderDialog::showSelected(int entry) {
  request_.selectListed(entry);
  const auto& found = request_.found();
  cell_->setText(found ? QString::fromStdString(found->cellName) : QString());
  fillList(others_, found ? found->cellRowIds : std::vector<std::string>{});
}

// --- running them

void refreshCellDescriptionView(const CellDescriptionRequest* request) {
  if (!request) return;
  for (CellDescriptionDialog* d : openDescriptions())
    if (&d->request() == request) d->refresh();
}

int runCellDescriptionDialog(CellDescriptionRequest& request) {
  CellDescriptionDialog dialog(request, mapDialogParent());
  // Modal to its sheet only, so that a double click in a map window can choose another cell.
  dialog.setWindowModality(dialog.parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
  dialog.exec();
  return platform::IDOK;
}

int runCellFinderDialog(CellFinderRequest& request) {
  CellFinderDialog dialog(request, mapDialogParent());
  dialog.exec();
  return platform::IDOK;
}
