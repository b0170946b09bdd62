#pragma once
// TSpinEdit: a spin box whose typed value beyond its range is clamped to the nearest end, as the
// settings reader clamps a stored value, instead of the entry being dropped silently: "30000"
// users give 20000, not 3000, and "0" gives 1, not whatever the box held before.

#include <QSpinBox>

class TSpinEdit : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
};
