#include "mlp/workbench/qt/graphs/graph_window.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>

#include "mlp/workbench/qt/graphs/graph_renderers.h"

namespace {

// The window's first rectangle, (100, 100)–(400, 300), before the minimum size applies.
constexpr int kInitialLeft = 100;
constexpr int kInitialTop = 100;
constexpr int kInitialWidth = 300;
constexpr int kInitialHeight = 200;

QSize screenSize(QWidget* widget) {
  QScreen* screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
  return screen ? screen->size() : QSize(1024, 768);
}

// Clears mayStep for the length of a full paint, so no new epoch starts while the histories
// are drawn, and sets it again afterwards.
class StepPause {
 public:
  explicit StepPause(TrainingRun& run) : run_(run) { run_.setMayStep(false); }
  ~StepPause() { run_.setMayStep(true); }
  StepPause(const StepPause&) = delete;
  StepPause& operator=(const StepPause&) = delete;

 private:
  TrainingRun& run_;
};

}  // namespace

CGraphWindow::CGraphWindow(VantorSession& session, QWidget* parent)
    : CGraphPicture(parent), session_(session) {
  setWindowFlags(Qt::Window);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromLatin1(kTitle));
  screen_ = screenSize(this);
  layout_ = ErrorViewerLayout::compute(screen_.width(), screen_.height(), kInitialWidth, kInitialHeight);

  auto scaleList = [this] {
    auto* list = new QComboBox(this);
    list->addItem(QStringLiteral("linear"));
    list->addItem(QStringLiteral("log"));
    connect(list, &QComboBox::activated, this, &CGraphWindow::listChosen);
    return list;
  };
  yScale_ = scaleList();
  xScale_ = scaleList();
  window_ = new QComboBox(this);
  for (int w : ErrorViewerModel::kWindowChoices) window_->addItem(QString::number(w));
  window_->setCurrentText(QString::number(ErrorViewerModel::kDefaultWindow));
  connect(window_, &QComboBox::activated, this, &CGraphWindow::listChosen);
  bottom_ = new QLineEdit(this);
  top_ = new QLineEdit(this);
  for (QLineEdit* edit : {bottom_, top_})
    connect(edit, &QLineEdit::editingFinished, this, &CGraphWindow::editLeft);
  setTabOrder(yScale_, bottom_);
  setTabOrder(bottom_, top_);
  setTabOrder(top_, xScale_);
  setTabOrder(xScale_, window_);

  setMinimumSize(layout_.minimumWidth(), ErrorViewerLayout::kMinimumHeight);
  setGeometry(kInitialLeft, kInitialTop, std::max(kInitialWidth, layout_.minimumWidth()),
              std::max(kInitialHeight, ErrorViewerLayout::kMinimumHeight));
  placeControls();
  session_.addObserver(this);
}

CGraphWindow::~CGraphWindow() {
  // A detached window may outlive the session (deleted later, with the sheet's children).
  if (!detached_) session_.removeObserver(this);
  // A focused edit loses its focus while the children are destroyed: no reading it then.
  for (QLineEdit* edit : {bottom_, top_}) edit->disconnect(this);
}

void CGraphWindow::placeControls() {
  const int ux = layout_.unitX;
  const int uy = layout_.unitY;
  const int height = std::max(4 * uy, 16);
  QFont font = this->font();
  font.setPixelSize(std::clamp(height - 10, 9, 13));
  for (QWidget* control : std::initializer_list<QWidget*>{yScale_, bottom_, top_, xScale_, window_}) {
    control->setFont(font);
  }
  yScale_->setGeometry(10 * ux, uy, 10 * ux, height);
  bottom_->setGeometry(21 * ux, uy, 10 * ux, height);
  top_->setGeometry(32 * ux, uy, 10 * ux, height);
  xScale_->setGeometry(53 * ux, uy, 10 * ux, height);
  window_->setGeometry(64 * ux, uy, 10 * ux, height);
}

void CGraphWindow::resizeEvent(QResizeEvent* event) {
  layout_ = ErrorViewerLayout::compute(screen_.width(), screen_.height(), event->size().width(),
                                       event->size().height());
  CGraphPicture::resizeEvent(event);
}

void CGraphWindow::render(QPainter& painter, const QSize& size) {
  const ErrorViewerLayout layout =
      ErrorViewerLayout::compute(screen_.width(), screen_.height(), size.width(), size.height());
  TrainingRun& run = session_.run();
  StepPause pause(run);
  run.WithModel([&](const TrainingModelView& view) {
    rendered_ = model_;
    const bool hasHistory = view.trainingErrors != nullptr && view.testErrors != nullptr;
    renderedEpoch_ = hasHistory ? view.epochCounter : 0;
    rendered_.beginFullPaint(renderedEpoch_);
    renderErrorViewer(painter, rendered_, layout, view.trainingErrors, view.testErrors,
                      hasHistory ? view.epochCounter + 1 : 0);
  });
}

void CGraphWindow::cacheDrawn() {
  model_ = rendered_;
  drawnEpoch_ = renderedEpoch_;
  ++fullPaints_;
  // Setting the texts emits no editingFinished, so this cannot feed back into editLeft.
  bottom_->setText(QString::fromStdString(model_.bottomText()));
  top_->setText(QString::fromStdString(model_.topText()));
}

void CGraphWindow::updateHistories() {
  if (cache().size() != size()) return fullPaint();
  ErrorViewerUpdate step;
  bool full = false;
  int newest = drawnEpoch_;
  session_.run().WithModel([&](const TrainingModelView& view) {
    if (view.trainingErrors == nullptr || view.testErrors == nullptr || view.epochCounter < drawnEpoch_) {
      full = true;  // the histories were cleared or replaced
      return;
    }
    newest = view.epochCounter;
    if (newest == drawnEpoch_) {
      // The newest entry was measured again (the split, the synapses): paint it, but while the
      // worker runs a delivery without a new epoch changes nothing.
      full = !session_.isTraining();
      return;
    }
    step = model_.advance(view.trainingErrors, view.testErrors, drawnEpoch_, newest, layout_.graph);
  });
  if (full || step.fullRepaint) return fullPaint();
  drawnEpoch_ = newest;
  if (step.trainingSegments.empty() && step.testSegments.empty()) return;
  {
    QPainter painter(&cache());
    drawErrorSegments(painter, step, layout_.graph);
  }
  // Only the columns the new segments touch need to reach the screen.
  int left = layout_.graph.right(), right = layout_.graph.left;
  for (const auto* segments : {&step.trainingSegments, &step.testSegments})
    for (const auto& s : *segments) {
      left = std::min({left, s[0].x, s[1].x});
      right = std::max({right, s[0].x, s[1].x});
    }
  update(QRect(left - 1, layout_.graph.top, right - left + 3, layout_.graph.height + 1));
}

void CGraphWindow::detach() {
  session_.removeObserver(this);
  detached_ = true;
}

void CGraphWindow::sessionChanged(unsigned changes) {
  if (detached_) return;
  if (changes & (kHistoriesChanged | kTestSetChanged | kDataSetChanged)) updateHistories();
}

void CGraphWindow::listChosen() {
  model_.setScales(xScale_->currentIndex() == 1, yScale_->currentIndex() == 1,
                   window_->currentText().toInt());
  fullPaint();
}

void CGraphWindow::editLeft() {
  model_.readEdits(bottom_->text().toStdString(), top_->text().toStdString());
  fullPaint();
}
