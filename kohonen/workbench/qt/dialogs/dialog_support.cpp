#include "kohonen/workbench/qt/dialogs/dialog_support.h"

#include <QLineEdit>
#include <cmath>
#include <limits>

namespace gridwise_dialogs {

std::optional<long long> fieldInteger(const QLineEdit& field) {
  bool ok = false;
  const long long value = field.text().trimmed().toLongLong(&ok, 10);
  if (!ok) return std::nullopt;
  return value;
}

double fieldNumber(const QLineEdit& field) {
  bool ok = false;
  const double value = field.text().trimmed().toDouble(&ok);
  return ok ? value : std::numeric_limits<double>::quiet_NaN();
}

QString numberText(double value) {
  constexpr int kSignificantDigits = 15;
  return QString::number(value, 'g', kSignificantDigits);
}

void focusRefusedField(QLineEdit& field) {
  field.setFocus(Qt::OtherFocusReason);
  field.selectAll();
}

}  // namespace gridwise_dialogs
