#pragma once

#include <QDialog>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

class PcAnalyzerRequest;
class QComboBox;

// The picture control of the "PC Analyzer": draws the cached picture, which is rebuilt when its
// size or the selected entry changes.
class PcCurveView final : public QWidget {
  Q_OBJECT

 public:
  PcCurveView(std::vector<double> cumulative, std::optional<std::int32_t> selected,
              QWidget* parent = nullptr);

  void setSelected(std::optional<std::int32_t> selected);
  // The picture as it is shown now.
  const QImage& picture();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::vector<double> cumulative_;
  std::optional<std::int32_t> selected_;
  QImage cache_;
};

// "PC Analyzer": the prompt, the combo box "1" … "d" starting at the request's preselection,
// the information curve and a single OK. Every choice goes to the request at once, so however
// the dialog closes the entry selected then decides.
class PcAnalyzerDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit PcAnalyzerDialog(PcAnalyzerRequest& request, QWidget* parent = nullptr);

 private:
  PcAnalyzerRequest& request_;
  QComboBox* count_;
  PcCurveView* curve_;
};
