#pragma once

#include <QDialog>

#include "mlp/workbench/graphs/answers_model.h"
#include "mlp/workbench/qt/graphs/graph_picture.h"
#include "mlp/workbench/vantor_session.h"

class QCheckBox;
class QComboBox;
class QRadioButton;
class QSlider;

// The answers view's drawing area: target and answer along the selected examples.
class CAnswersPicture final : public CGraphPicture {
  Q_OBJECT
 public:
  CAnswersPicture(const AnswersModel& model, const AnswersData& data, QWidget* parent);
  QSize sizeHint() const override { return {560, 320}; }
  QSize minimumSizeHint() const override { return {200, 120}; }
  AnswersGeometry geometry() const { return model_.layout(data_, width(), height()); }

 protected:
  void render(QPainter& painter, const QSize& size) override;
  QString pictureName() const override { return QStringLiteral("answers.png"); }

 private:
  const AnswersModel& model_;
  const AnswersData& data_;
};

// "Network answers vs. real data": modal. Evaluates a copy of the network on every row when it
// opens (and again when training delivers new epochs meanwhile), then plots the chosen output's
// target (orange) and answer (green) over the examples between the two sliders.
class CAnswersDlg final : public QDialog, public VantorSessionObserver {
  Q_OBJECT
 public:
  static constexpr const char* kTitle = "Network answers vs. real data";
  static constexpr const char* kColoringText =
      "Show test/trainig examples coloring (blue dots - training set, red dots - test set)";
  static constexpr const char* kLegendText = "Green line -  network answer, \n orange line - real data.";
  static constexpr const char* kOutOfMemoryText = "Out of memory!";

  CAnswersDlg(VantorSession& session, QWidget* parent);
  ~CAnswersDlg() override;

  // Evaluates the rows; false when the buffers could not be had (the caller shows
  // kOutOfMemoryText and the view closes with Cancel).
  bool load();
  void sessionChanged(unsigned changes) override;

  const AnswersModel& model() const { return model_; }
  const AnswersData& data() const { return data_; }
  CAnswersPicture* picture() const { return picture_; }
  QSlider* firstSlider() const { return first_; }
  QSlider* lastSlider() const { return last_; }
  QRadioButton* normalizedButton() const { return normalized_; }
  QRadioButton* realScaleButton() const { return real_; }
  QComboBox* outputList() const { return output_; }
  QCheckBox* coloringBox() const { return coloring_; }

 private:
  void firstMoved(int value);
  void lastMoved(int value);
  // Re-reads the radio buttons, the check box and the output list, then repaints.
  void controlsChanged();
  // Shows the model's selection on both sliders without feeding back into it.
  void showSelection();

  VantorSession& session_;
  AnswersModel model_;
  AnswersData data_;
  CAnswersPicture* picture_ = nullptr;
  QSlider* first_ = nullptr;
  QSlider* last_ = nullptr;
  QRadioButton* normalized_ = nullptr;
  QRadioButton* real_ = nullptr;
  QComboBox* output_ = nullptr;
  QCheckBox* coloring_ = nullptr;
  bool showing_ = false;
};
