#include "gui/SpinEdit.h"

namespace {

// The number typed, when it is a whole number above max.
bool abovemaximum(const QString& input, int max) {
  bool ok = false;
  const qlonglong v = input.trimmed().toLongLong(&ok);
  return ok && v > max;
}

}  // namespace

QValidator::State TSpinEdit::validate(QString& input, int& pos) const {
  // Kept while typing; fixup() clamps it when the edit is finished.
  if (abovemaximum(input, maximum())) return QValidator::Intermediate;
  return QSpinBox::validate(input, pos);
}

void TSpinEdit::fixup(QString& input) const {
  if (abovemaximum(input, maximum())) {
    input = QString::number(maximum());
    return;
  }
  QSpinBox::fixup(input);
}
