#include "kohonen/workbench/qt/dialogs/preferences_sheet.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionFocusRect>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "kohonen/workbench/gridwise_messages.h"
#include "kohonen/workbench/preferences.h"
#include "kohonen/workbench/qt/dialogs/dialog_support.h"

using gridwise_dialogs::qs;
using TrainingField = PreferencesRequest::TrainingField;

namespace {

constexpr QSize kSwatchSize(320, 60);
// Inset of the keyboard marker inside its stripe.
constexpr int kFocusInset = 3;

constexpr std::array<const char*, 4> kFieldLabels = {
    "Number of iterations:", "Initial stiffness:", "Delta:", "Decay factor:"};

QColor colourOf(platform::Rgb rgb) {
  return QColor(rgb.r, rgb.g, rgb.b);
}

std::size_t indexOf(TrainingField field) {
  return static_cast<std::size_t>(field);
}

// The field's integer when it fits the setting; anything else lies below the accepted range.
std::int32_t iterationsIn(const QLineEdit& field) {
  const std::optional<long long> value = gridwise_dialogs::fieldInteger(field);
  if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
      *value > std::numeric_limits<std::int32_t>::max())
    return kMinIterations - 1;
  return static_cast<std::int32_t>(*value);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Swatch

PaletteSwatch::PaletteSwatch(PreferencesRequest& request, QWidget* parent)
    : QWidget(parent), request_(request) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setToolTip(QStringLiteral("Double click on a color to change it"));
}

void PaletteSwatch::refresh() {
  keyStripe_ = std::min(keyStripe_, request_.colourCount() - 1);
  cache_ = QImage();
  update();
}

const QImage& PaletteSwatch::picture() {
  if (!cache_.isNull() && cache_.size() == size()) return cache_;
  cache_ = QImage(size(), QImage::Format_RGB32);
  if (cache_.isNull()) return cache_;
  QPainter painter(&cache_);
  const int w = width();
  const std::int32_t k = request_.colourCount();
  for (std::int32_t i = 0; i < k; ++i) {
    const int left = PreferencesRequest::stripeLeft(i, w, k);
    const int right = PreferencesRequest::stripeLeft(i + 1, w, k);
    painter.fillRect(QRect(left, 0, right - left, height()), colourOf(request_.palette().colour(k, i)));
  }
  return cache_;
}

QSize PaletteSwatch::sizeHint() const {
  return kSwatchSize;
}

void PaletteSwatch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, picture());
  if (!hasFocus()) return;
  const std::int32_t k = request_.colourCount();
  const int left = PreferencesRequest::stripeLeft(keyStripe_, width(), k);
  const int right = PreferencesRequest::stripeLeft(keyStripe_ + 1, width(), k);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.rect =
      QRect(left, 0, right - left, height()).adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset);
  option.backgroundColor = colourOf(request_.palette().colour(k, keyStripe_));
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void PaletteSwatch::resizeEvent(QResizeEvent*) {
  cache_ = QImage();
}

void PaletteSwatch::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pickAt(static_cast<int>(event->position().x()));
}

void PaletteSwatch::keyPressEvent(QKeyEvent* event) {
  const std::int32_t k = request_.colourCount();
  switch (event->key()) {
    case Qt::Key_Left:
      keyStripe_ = std::max(keyStripe_ - 1, 0);
      update();
      return;
    case Qt::Key_Right:
      keyStripe_ = std::min(keyStripe_ + 1, k - 1);
      update();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      pickAt(PreferencesRequest::stripeLeft(keyStripe_, width(), k));
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void PaletteSwatch::pickAt(int x) {
  const std::int32_t stripe = PreferencesRequest::stripeAt(x, width(), request_.colourCount());
  if (!request_.pickColour(x, width())) return;
  keyStripe_ = stripe;
  refresh();
  emit colourChanged();
}

// ---------------------------------------------------------------------------------------------
// Pages

ColoursPage::ColoursPage(PreferencesRequest& request, QWidget* parent) : QWidget(parent), request_(request) {
  auto* text = new QLabel(QString::fromUtf8(PreferencesRequest::kColoursText), this);
  text->setWordWrap(true);
  auto* countLabel = new QLabel(QString::fromUtf8(PreferencesRequest::kColourCountLabel), this);
  count_ = new QComboBox(this);
  for (std::int32_t k = PaletteTable::kMinColours; k <= PaletteTable::kMaxColours; ++k)
    count_->addItem(QString::number(k), k);
  count_->setCurrentIndex(request_.colourCount() - PaletteTable::kMinColours);
  countLabel->setBuddy(count_);
  swatch_ = new PaletteSwatch(request_, this);

  connect(count_, &QComboBox::currentIndexChanged, this, [this](int index) {
    request_.setColourCount(count_->itemData(index).toInt());
    swatch_->refresh();
  });
  connect(swatch_, &PaletteSwatch::colourChanged, this, &ColoursPage::modified);

  auto* countRow = new QHBoxLayout;
  countRow->addWidget(countLabel);
  countRow->addWidget(count_);
  countRow->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addLayout(countRow);
  layout->addWidget(swatch_, 1);
}

TrainingParametersPage::TrainingParametersPage(PreferencesRequest& request, QWidget* parent)
    : QWidget(parent), request_(request) {
  const TrainingSettings& s = request_.training();
  auto* form = new QFormLayout(this);
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    fields_[i] = new QLineEdit(this);
    fields_[i]->setMaxLength(32);
    form->addRow(QString::fromUtf8(kFieldLabels[i]), fields_[i]);
  }
  fields_[indexOf(TrainingField::Iterations)]->setText(QString::number(s.iterations));
  fields_[indexOf(TrainingField::InitialStiffness)]->setText(
      gridwise_dialogs::numberText(s.initialStiffness));
  fields_[indexOf(TrainingField::Delta)]->setText(gridwise_dialogs::numberText(s.delta));
  fields_[indexOf(TrainingField::DecayFactor)]->setText(gridwise_dialogs::numberText(s.decayFactor));
  for (QLineEdit* field : fields_)
    connect(field, &QLineEdit::textEdited, this, [this] {
      store();
      emit modified();
    });
}

void TrainingParametersPage::store() {
  TrainingSettings s;
  s.iterations = iterationsIn(*fields_[indexOf(TrainingField::Iterations)]);
  s.initialStiffness = gridwise_dialogs::fieldNumber(*fields_[indexOf(TrainingField::InitialStiffness)]);
  s.delta = gridwise_dialogs::fieldNumber(*fields_[indexOf(TrainingField::Delta)]);
  s.decayFactor = gridwise_dialogs::fieldNumber(*fields_[indexOf(TrainingField::DecayFactor)]);
  request_.setTraining(s);
}

bool TrainingParametersPage::validate() {
  const std::optional<std::string> problem = request_.problem();
  if (!problem) return true;
  gridwiseMessage(*problem, kWarningBox);
  focusProblemField();
  return false;
}

void TrainingParametersPage::focusProblemField() {
  if (const std::optional<TrainingField> field = request_.problemField())
    gridwise_dialogs::focusRefusedField(*fields_[indexOf(*field)]);
}

// ---------------------------------------------------------------------------------------------
// Sheet

PreferencesSheet::PreferencesSheet(PreferencesRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setWindowTitle(qs(request.dialogTitle()));
  tabs_ = new QTabWidget(this);
  colours_ = new ColoursPage(request_, tabs_);
  training_ = new TrainingParametersPage(request_, tabs_);
  tabs_->addTab(colours_, QString::fromUtf8(PreferencesRequest::kColoursPage));
  tabs_->addTab(training_, QString::fromUtf8(PreferencesRequest::kTrainingPage));

  auto* buttons =
      new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  apply_ = buttons->button(QDialogButtonBox::Apply);
  connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesSheet::reject);
  connect(apply_, &QPushButton::clicked, this, [this] {
    if (!request_.apply()) {
      returning_ = true;
      tabs_->setCurrentWidget(training_);
      returning_ = false;
      training_->focusProblemField();
    }
    updateApply();
  });
  connect(colours_, &ColoursPage::modified, this, &PreferencesSheet::updateApply);
  connect(training_, &TrainingParametersPage::modified, this, &PreferencesSheet::updateApply);
  connect(tabs_, &QTabWidget::currentChanged, this, &PreferencesSheet::pageChanged);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  layout->addWidget(buttons);
  updateApply();
}

void PreferencesSheet::accept() {
  if (request_.problem()) {
    returning_ = true;
    tabs_->setCurrentWidget(training_);
    returning_ = false;
    training_->validate();
    return;
  }
  QDialog::accept();
}

void PreferencesSheet::updateApply() {
  apply_->setEnabled(request_.modified());
}

void PreferencesSheet::pageChanged(int index) {
  const int trainingIndex = tabs_->indexOf(training_);
  if (!returning_ && currentPage_ == trainingIndex && index != trainingIndex && !training_->validate()) {
    // The page may not be left with a value out of range: turn back to it.
    returning_ = true;
    tabs_->setCurrentIndex(trainingIndex);
    returning_ = false;
    training_->focusProblemField();
    return;
  }
  currentPage_ = index;
}
