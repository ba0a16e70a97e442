#pragma once
// A one-line label that never asks for more room than it has: its text is
// drawn elided in the middle to the label's width, and the whole text is
// its tooltip while it does not fit. text() stays the whole text, so nothing
// that reads the label changes; it never widens the window it is in.

#include <QLabel>

class ElidedLabel : public QLabel {
  public:
    explicit ElidedLabel(const QString& text = QString(), QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    // A tooltip that says more than the text: shown whether or not the text
    // fits, in place of the whole text.
    void setDetail(const QString& detail);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString detail_;
};
