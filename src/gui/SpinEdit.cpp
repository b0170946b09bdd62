#include "gui/SpinEdit.h"

namespace {

// The whole number typed, when it lies outside [min, max].
bool outofrange(const QString& input, int min, int max, qlonglong& value) {
  bool ok = false;
  value = input.trimmed().toLongLong(&ok);
  return ok && (value > max || value < min);
}

}  // namespace

QValidator::State TSpinEdit::validate(QString& input, int& pos) const {
  // Kept while typing (a "1" on the way to "10" is below a minimum of 5); fixup() clamps it when
  // the edit is finished.
  qlonglong v = 0;
  if (outofrange(input, minimum(), maximum(), v)) return QValidator::Intermediate;
  return QSpinBox::validate(input, pos);
}

void TSpinEdit::fixup(QString& input) const {
  qlonglong v = 0;
  if (outofrange(input, minimum(), maximum(), v)) {
    input = QString::number(v > maximum() ? maximum() : minimum());
    return;
  }
  QSpinBox::fixup(input);
}
