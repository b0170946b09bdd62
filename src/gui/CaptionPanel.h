#pragma once
// TCaptionPanel: a plain panel that shows its caption centred wherever no child covers it (the
// result area shows "Pressbolt is working..." while its tabs are hidden).

#include <QString>
#include <QWidget>

class TCaptionPanel : public QWidget {
 public:
  explicit TCaptionPanel(const QString& caption, QWidget* parent = nullptr);

  QString caption() const { return caption_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
};
