#include "mlp/workbench/qt/graphs/answers_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <new>

#include "mlp/workbench/graphs/network_snapshot.h"
#include "mlp/workbench/qt/graphs/graph_renderers.h"

CAnswersPicture::CAnswersPicture(const AnswersModel& model, const AnswersData& data, QWidget* parent)
    : CGraphPicture(parent), model_(model), data_(data) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CAnswersPicture::render(QPainter& painter, const QSize& size) {
  renderAnswers(painter, model_.layout(data_, size.width(), size.height()));
}

CAnswersDlg::CAnswersDlg(VantorSession& session, QWidget* parent) : QDialog(parent), session_(session) {
  setWindowTitle(QString::fromLatin1(kTitle));
  setSizeGripEnabled(true);
  picture_ = new CAnswersPicture(model_, data_, this);

  first_ = new QSlider(Qt::Horizontal, this);
  last_ = new QSlider(Qt::Horizontal, this);
  auto* sliders = new QGridLayout;
  sliders->addWidget(new QLabel(QStringLiteral("First example of selection:"), this), 0, 0);
  sliders->addWidget(first_, 0, 1);
  sliders->addWidget(new QLabel(QStringLiteral("Last example of selection:"), this), 1, 0);
  sliders->addWidget(last_, 1, 1);

  auto* information = new QGroupBox(QStringLiteral("Information"), this);
  normalized_ = new QRadioButton(QStringLiteral("Normalized"), information);
  real_ = new QRadioButton(QStringLiteral("Real scale"), information);
  normalized_->setChecked(true);
  auto* radios = new QVBoxLayout(information);
  radios->addWidget(normalized_);
  radios->addWidget(real_);

  output_ = new QComboBox(this);
  for (int j = 1; j <= session_.dataSet().outputCount(); ++j) output_->addItem(QString::number(j));
  auto* outputRow = new QHBoxLayout;
  outputRow->addWidget(new QLabel(QStringLiteral("Output #"), this));
  outputRow->addWidget(output_);
  outputRow->addStretch(1);
  coloring_ = new QCheckBox(QString::fromLatin1(kColoringText), this);
  auto* legend = new QLabel(QString::fromLatin1(kLegendText), this);

  auto* choices = new QVBoxLayout;
  choices->addLayout(outputRow);
  choices->addWidget(coloring_);
  choices->addWidget(legend);
  auto* lower = new QHBoxLayout;
  lower->addWidget(information);
  lower->addLayout(choices, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(picture_, 1);
  layout->addLayout(sliders);
  layout->addLayout(lower);
  layout->addWidget(buttons);

  connect(first_, &QSlider::valueChanged, this, &CAnswersDlg::firstMoved);
  connect(last_, &QSlider::valueChanged, this, &CAnswersDlg::lastMoved);
  connect(normalized_, &QRadioButton::toggled, this, &CAnswersDlg::controlsChanged);
  connect(coloring_, &QCheckBox::toggled, this, &CAnswersDlg::controlsChanged);
  connect(output_, &QComboBox::activated, this, &CAnswersDlg::controlsChanged);
  session_.addObserver(this);
}

CAnswersDlg::~CAnswersDlg() {
  session_.removeObserver(this);
}

bool CAnswersDlg::load() {
  try {
    data_ = collectAnswersData(NetworkSnapshot::take(session_.run()));
  } catch (const std::bad_alloc&) {
    data_ = AnswersData();
    return false;
  }
  if (model_.rows() != data_.rows) {
    // A new row count: both sliders range over 0 … n − 1, first at 0, last at n − 1.
    const AnswersModel previous = model_;
    model_ = AnswersModel(data_.rows, data_.outputs);
    model_.setOutput(previous.output());
    model_.setRealScale(previous.realScale());
    model_.setColoring(previous.coloring());
    showing_ = true;
    first_->setRange(0, std::max(data_.rows - 1, 0));
    last_->setRange(0, std::max(data_.rows - 1, 0));
    showing_ = false;
    showSelection();
  }
  picture_->redraw();
  return true;
}

void CAnswersDlg::sessionChanged(unsigned changes) {
  if (changes & (kHistoriesChanged | kNetworkChanged | kTestSetChanged)) load();
}

void CAnswersDlg::showSelection() {
  showing_ = true;
  first_->setValue(model_.first());
  last_->setValue(model_.last());
  showing_ = false;
}

void CAnswersDlg::firstMoved(int value) {
  if (showing_) return;
  model_.setFirst(value);
  showSelection();
  picture_->redraw();
}

void CAnswersDlg::lastMoved(int value) {
  if (showing_) return;
  model_.setLast(value);
  showSelection();
  picture_->redraw();
}

void CAnswersDlg::controlsChanged() {
  model_.setRealScale(real_->isChecked());
  model_.setColoring(coloring_->isChecked());
  model_.setOutput(output_->currentIndex());
  picture_->redraw();
}
