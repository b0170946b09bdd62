#pragma once
// TSpinEdit: a spin box whose typed value beyond the maximum is clamped to it, as the settings
// reader clamps a stored value, instead of the digit that goes too far being dropped silently
// ("30000" users give 20000, not 3000).

#include <QSpinBox>

class TSpinEdit : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
};
