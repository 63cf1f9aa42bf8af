#include "kohonen/workbench/qt/maps/new_map_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/palette_table.h"
#include "kohonen/workbench/qt/maps/map_window.h"

NewMapDialog::NewMapDialog(NewMapRequest& request, QWidget* parent) : QDialog(parent), request_(request) {
  setWindowTitle(QString::fromLatin1(NewMapRequest::kTitle));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromLatin1(NewMapRequest::kPrompt), this));

  auto* group = new QGroupBox(QString::fromLatin1(kColouringGroup), this);
  auto* groupLayout = new QVBoxLayout(group);
  average_ = new QRadioButton(QString::fromLatin1(NewMapRequest::kAverageText), group);
  existence_ = new QRadioButton(QString::fromLatin1(NewMapRequest::kExistenceText), group);
  groupLayout->addWidget(average_);
  groupLayout->addWidget(existence_);
  layout->addWidget(group);

  auto* form = new QFormLayout;
  feature_ = new QComboBox(this);
  feature_->setObjectName(QStringLiteral("featureColumn"));
  for (const std::string& name : request_.columnNames()) feature_->addItem(QString::fromStdString(name));
  feature_->setCurrentIndex(request_.featureColumn);
  auto* featureLabel = new QLabel(QString::fromLatin1(kFeatureLabel), this);
  featureLabel->setBuddy(feature_);
  form->addRow(featureLabel, feature_);
  colours_ = new QComboBox(this);
  colours_->setObjectName(QStringLiteral("colourCount"));
  for (int k = PaletteTable::kMinColours; k <= PaletteTable::kMaxColours; ++k)
    colours_->addItem(QString::number(k));
  colours_->setCurrentIndex(request_.colourCount - PaletteTable::kMinColours);
  coloursLabel_ = new QLabel(QString::fromLatin1(kColoursLabel), this);
  coloursLabel_->setBuddy(colours_);
  form->addRow(coloursLabel_, colours_);
  layout->addLayout(form);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  (request_.mode() == MapMode::Existence ? existence_ : average_)->setChecked(true);
  connect(average_, &QRadioButton::toggled, this, [this] { modeChanged(); });
  modeChanged();
}

void NewMapDialog::modeChanged() {
  request_.setMode(existence_->isChecked() ? MapMode::Existence : MapMode::Average);
  const bool enabled = request_.colourCountEnabled();
  if (!enabled) colours_->setCurrentIndex(request_.colourCount - PaletteTable::kMinColours);
  colours_->setEnabled(enabled);
  coloursLabel_->setEnabled(enabled);
}

void NewMapDialog::accept() {
  request_.featureColumn = feature_->currentIndex();
  request_.colourCount = colours_->currentIndex() + PaletteTable::kMinColours;
  QDialog::accept();
}

QWidget* mapDialogParent() {
  QWidget* active = QApplication::activeWindow();
  if (auto* map = qobject_cast<MapWindow*>(active); map && map->owner()) return map->owner();
  return active;
}

int runNewMapDialog(NewMapRequest& request) {
  NewMapDialog dialog(request, mapDialogParent());
  return dialog.exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
}
