#include "kohonen/workbench/qt/results_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "kohonen/workbench/qt/maps/gridwise_maps.h"

namespace {

// The "First cell:" field holds at most this many characters.
constexpr int kFirstCellLength = 10;

void fillList(QComboBox* list, const std::vector<std::string>& names, int selected) {
  list->clear();
  for (const std::string& name : names) list->addItem(QString::fromStdString(name));
  list->setCurrentIndex(selected >= 0 && selected < list->count() ? selected : -1);
}

// Marks a scope in which the page writes its own controls.
class UpdateScope {
 public:
  explicit UpdateScope(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
  ~UpdateScope() { flag_ = previous_; }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

 private:
  bool& flag_;
  bool previous_;
};

}  // namespace

ResultsPage::ResultsPage(GridwiseSession& session, MapWindowSet& maps, CommandRunner run, QWidget* parent)
    : QWidget(parent), session_(session), maps_(maps), run_(std::move(run)) {
  newMap_ = new QPushButton(tr("Create New Map..."), this);
  cellDescription_ = new QPushButton(tr("Cell Description..."), this);
  findCell_ = new QPushButton(tr("Find Cell..."), this);
  auto* mapButtons = new QHBoxLayout;
  mapButtons->addWidget(newMap_);
  mapButtons->addWidget(cellDescription_);
  mapButtons->addWidget(findCell_);
  mapButtons->addStretch(1);

  auto* group = new QGroupBox(tr("Output to Excel Worksheet"), this);
  useActive_ = new QCheckBox(tr("Use active Excel sheet"), group);
  workbooks_ = new QComboBox(group);
  worksheets_ = new QComboBox(group);
  workbooks_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  worksheets_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  workbooks_->setMinimumContentsLength(16);
  worksheets_->setMinimumContentsLength(16);
  outputIds_ = new QCheckBox(tr("Output IDs"), group);
  firstCell_ = new QLineEdit(group);
  firstCell_->setMaxLength(kFirstCellLength);
  firstCell_->setMaximumWidth(
      firstCell_->fontMetrics().horizontalAdvance(QString(kFirstCellLength + 4, 'W')));
  output_ = new QPushButton(tr("Output"), group);
  auto* form = new QFormLayout;
  form->addRow(tr("Workbook:"), workbooks_);
  form->addRow(tr("Worksheet:"), worksheets_);
  form->addRow(tr("First cell:"), firstCell_);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(useActive_);
  groupLayout->addLayout(form);
  groupLayout->addWidget(outputIds_);
  groupLayout->addWidget(output_, 0, Qt::AlignRight);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(mapButtons);
  layout->addWidget(group);
  layout->addStretch(1);

  connect(newMap_, &QPushButton::clicked, this, [this] {
    runCommand([this] {
      if (std::optional<MapPicture> picture = session_.createNewMap()) maps_.open(std::move(*picture));
    });
  });
  connect(cellDescription_, &QPushButton::clicked, this,
          [this] { runCommand([this] { session_.describeCells(); }); });
  connect(findCell_, &QPushButton::clicked, this, [this] { runCommand([this] { session_.findCells(); }); });

  connect(useActive_, &QCheckBox::toggled, this, [this](bool on) {
    if (!updating_) session_.setUseActiveSheet(on);
  });
  // The sheet list follows the workbook chosen when the list closes.
  connect(workbooks_, &QComboBox::activated, this, [this](int index) {
    if (!updating_) session_.selectWorkbook(index);
  });
  connect(worksheets_, &QComboBox::activated, this, [this](int index) {
    if (!updating_) session_.selectWorksheet(index);
  });
  connect(outputIds_, &QCheckBox::toggled, this, [this](bool on) {
    if (!updating_) session_.setOutputIds(on);
  });
  connect(firstCell_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!updating_) session_.setFirstCell(text.toStdString());
  });
  connect(output_, &QPushButton::clicked, this, [this] { runCommand([this] { session_.output(); }); });

  session_.addObserver(*this);
  refresh();
}

ResultsPage::~ResultsPage() {
  session_.removeObserver(*this);
}

void ResultsPage::runCommand(const std::function<void()>& command) {
  if (run_)
    run_(command);
  else
    command();
  refreshEnabling();
}

void ResultsPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (placeFilled_) return;
  placeFilled_ = true;
  session_.initOutputPlace();
}

void ResultsPage::sessionChanged(unsigned changes) {
  if (changes & (kPatternsChanged | kNetChanged)) refreshEnabling();
  if (changes & kOutputPlaceChanged) refreshOutputPlace();
}

void ResultsPage::refresh() {
  refreshEnabling();
  refreshOutputPlace();
}

void ResultsPage::refreshEnabling() {
  const bool map = session_.canUseMap();
  newMap_->setEnabled(map);
  cellDescription_->setEnabled(map);
  findCell_->setEnabled(map);
  output_->setEnabled(map);
}

void ResultsPage::refreshOutputPlace() {
  UpdateScope scope(updating_);
  const OutputPlace& place = session_.outputPlace();
  useActive_->setChecked(place.useActive);
  fillList(workbooks_, place.workbooks, place.selectedWorkbook);
  fillList(worksheets_, place.worksheets, place.selectedWorksheet);
  workbooks_->setEnabled(place.listsEnabled);
  worksheets_->setEnabled(place.listsEnabled);
  outputIds_->setChecked(session_.outputIds());
  const QString cell = QString::fromStdString(place.firstCell);
  // Rewriting the same text would move the cursor while the user types.
  if (firstCell_->text() != cell) firstCell_->setText(cell);
}
