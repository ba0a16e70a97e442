#pragma once
// A one-line label that never asks for more room than it has: its text is
// drawn elided in the middle to the label's width, and the whole text is
// its tooltip while it does not fit. text() stays the whole text, so nothing
// that reads the label changes; unless a part of it is to be the only part
// cut (setElidedPart), it never widens the window it is in.

#include <QLabel>
#include <optional>

class ElidedLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ElidedLabel(const QString& text = QString(), QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    // A tooltip that says more than the text: shown whether or not the text
    // fits, in place of the whole text.
    void setDetail(const QString& detail);
    // Only `part` of the text, where it first occurs, gives up room; the
    // rest always shows whole, and the label asks for the room that takes.
    // An empty part: none of the text. Until this is called, all of it.
    void setElidedPart(const QString& part);
    // The text as drawn in the label's present width.
    QString shownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // The text with the elided part in `partRoom` pixels.
    QString withPartIn(int partRoom) const;

    QString detail_;
    std::optional<QString> elidedPart_;
};
