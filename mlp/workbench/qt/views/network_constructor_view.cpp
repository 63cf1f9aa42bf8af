#include "mlp/workbench/qt/views/network_constructor_view.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

namespace {

// An integer edit's value; text that is not an integer reads as 0, which the checks refuse.
int integerIn(const QLineEdit* edit) {
  bool ok = false;
  const int value = edit->text().trimmed().toInt(&ok);
  return ok ? value : 0;
}

}  // namespace

NetworkConstructorView::NetworkConstructorView(NetworkConstructorDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QString::fromStdString(model_.dialogTitle()));

  layers_ = new QSpinBox(this);
  layers_->setRange(1, NetworkDescription::kMaxLayers);
  inputs_ = new QLineEdit(this);
  inputs_->setValidator(
      new QIntValidator(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), inputs_));

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(tr("neurons"), this), 0, 1);
  grid->addWidget(new QLabel(tr("order"), this), 0, 2);
  grid->addWidget(new QLabel(tr("function"), this), 0, 3);
  auto* neuronValidator =
      new QIntValidator(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), this);
  for (int l = 0; l < NetworkDescription::kMaxLayers; ++l) {
    RowWidgets& row = rows_[static_cast<std::size_t>(l)];
    row.label = new QLabel(this);
    row.neurons = new QLineEdit(this);
    row.neurons->setValidator(neuronValidator);
    row.order = new QComboBox(this);
    row.order->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    row.function = new QComboBox(this);
    for (const char* name : model_.functionNames()) row.function->addItem(QString::fromLatin1(name));
    // Layer 1 is the bottom row.
    const int gridRow = NetworkDescription::kMaxLayers - l;
    grid->addWidget(row.label, gridRow, 0);
    grid->addWidget(row.neurons, gridRow, 1);
    grid->addWidget(row.order, gridRow, 2);
    grid->addWidget(row.function, gridRow, 3);
  }
  grid->setColumnStretch(1, 1);

  auto* top = new QHBoxLayout;
  auto* layersLabel = new QLabel(tr("Number of layers:"), this);
  layersLabel->setBuddy(layers_);
  top->addWidget(layersLabel);
  top->addWidget(layers_);
  top->addStretch();

  auto* inputsRow = new QHBoxLayout;
  auto* inputsLabel = new QLabel(tr("Number of inputs"), this);
  inputsLabel->setBuddy(inputs_);
  inputsRow->addWidget(inputsLabel);
  inputsRow->addWidget(inputs_, 1);

  // Enter re-lays out the rows, so neither button is a default button.
  ok_ = new QPushButton(tr("OK"), this);
  cancel_ = new QPushButton(tr("Cancel"), this);
  for (QPushButton* button : {ok_, cancel_}) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(grid);
  layout->addLayout(inputsRow);
  layout->addStretch();
  layout->addLayout(buttons);

  connect(layers_, &QSpinBox::valueChanged, this, [this] {
    if (!updating_) relayout();
  });
  connect(layers_, &QSpinBox::editingFinished, this, [this] {
    if (!updating_) relayout();
  });
  connect(ok_, &QPushButton::clicked, this, &NetworkConstructorView::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  showModel();
}

void NetworkConstructorView::readControls() {
  model_.layerCount = layers_->value();
  model_.inputs = integerIn(inputs_);
  for (int l = 0; l < NetworkDescription::kMaxLayers; ++l) {
    const RowWidgets& row = rows_[static_cast<std::size_t>(l)];
    NetworkConstructorDialog::Row& values = model_.rows[l];
    if (!values.enabled) continue;  // "Not Exist" rows hold nothing to read
    values.neurons = integerIn(row.neurons);
    values.orderIndex = row.order->currentIndex();
    values.functionIndex = row.function->currentIndex();
  }
}

void NetworkConstructorView::showModel() {
  updating_ = true;
  layers_->setValue(model_.layerCount);
  inputs_->setText(QString::number(model_.inputs));
  inputs_->setEnabled(model_.inputsEnabled());
  for (int l = 0; l < NetworkDescription::kMaxLayers; ++l) {
    const RowWidgets& row = rows_[static_cast<std::size_t>(l)];
    const NetworkConstructorDialog::Row& values = model_.rows[l];
    row.label->setText(QString::fromStdString(values.label));
    row.label->setEnabled(values.enabled);
    row.neurons->setText(QString::number(values.neurons));
    row.neurons->setEnabled(values.enabled && values.neuronsEnabled);
    row.order->setCurrentIndex(values.orderIndex);
    row.order->setEnabled(values.enabled);
    row.function->setCurrentIndex(values.functionIndex);
    row.function->setEnabled(values.enabled);
  }
  updating_ = false;
}

void NetworkConstructorView::relayout() {
  readControls();
  model_.relayout();
  showModel();
}

void NetworkConstructorView::accept() {
  readControls();
  if (!model_.accept()) {
    // The refusal has been shown; the dialog stays open on the field it named.
    QLineEdit* field = nullptr;
    switch (model_.refusedField()) {
      case NetworkConstructorDialog::Field::Inputs:
        field = inputs_;
        break;
      case NetworkConstructorDialog::Field::Neurons:
        field = rows_[static_cast<std::size_t>(model_.refusedLayer())].neurons;
        break;
      case NetworkConstructorDialog::Field::LayerCount:
        layers_->setFocus();
        break;
      case NetworkConstructorDialog::Field::None:
        break;
    }
    if (field) {
      field->setFocus();
      field->selectAll();
    }
    return;
  }
  QDialog::accept();
}

void NetworkConstructorView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // Enter applies the layer count and keeps the dialog open.
    layers_->interpretText();
    relayout();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
