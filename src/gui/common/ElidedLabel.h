// A one-line label for the status bar. A text too long for the label's width is cut with "…"
// and shown whole as the tool tip; the label asks for no width of its own, so a long text never
// makes the window wider.
#pragma once

#include <QLabel>
#include <QString>

namespace zub {

class TElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TElidedLabel(QWidget* parent = nullptr);

  void SetFullText(const QString& text);
  const QString& FullText() const { return FFullText; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Elide();

  QString FFullText;
};

}  // namespace zub
