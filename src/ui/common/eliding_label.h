// A one-line plain-text label that shortens its text with "…" where the text does not fit (at the
// end, the start or the middle), shows the whole text as its tooltip while shortened, and always
// tells accessibility the whole text. For file names, paths, tags and prompts in narrow columns.
//
// Thread safety: GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

namespace lorvex::ui {

class ElidingLabel : public QWidget {
  Q_OBJECT

 public:
  explicit ElidingLabel(const QString& text = {}, QWidget* parent = nullptr);

  void setText(const QString& text);
  QString text() const { return text_; }
  void setElideMode(Qt::TextElideMode mode);   // default Qt::ElideRight
  void setAlignment(Qt::Alignment alignment);  // default left, vertically centred
  Qt::Alignment alignment() const { return alignment_; }

  // What the label shows at its current width.
  QString displayedText() const { return displayed_; }
  bool isElided() const { return displayed_ != text_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void relayout();

  QString text_;
  QString displayed_;
  Qt::TextElideMode mode_ = Qt::ElideRight;
  Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};

}  // namespace lorvex::ui
