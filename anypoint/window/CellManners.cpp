#include "CellManners.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

namespace anypoint {

namespace {

// The style would draw every cell of the chosen row in the selection's text
// colour.
class OwnColourWhenChosen : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->palette.setBrush(QPalette::HighlightedText, option->palette.brush(QPalette::Text));
    }
};

// Qt's delegate commits an edit ended by Enter a moment later, from the
// event loop. An Enter pressed again before then, as when a poll tick holds
// the keys back and lets them through together, would commit the same
// editor twice, the second time after the view has let it go.
class CommitOnEnter : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* editor = qobject_cast<QWidget*>(object);
        if (editor != nullptr && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

  public:
    // A read that changes the cell would put its value back into the editor
    // and throw away what is being typed.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        const auto* line = qobject_cast<QLineEdit*>(editor);
        if (line == nullptr || !line->isModified()) {
            QStyledItemDelegate::setEditorData(editor, index);
        }
    }
};

}  // namespace

void tintChoice(QAbstractItemView* view) {
    constexpr float kTint = 0.25F;
    QPalette palette = view->palette();
    const QColor choice = palette.color(QPalette::Highlight);
    const QColor base = palette.color(QPalette::Base);
    const auto mix = [](float c, float b) { return kTint * c + (1 - kTint) * b; };
    palette.setColor(QPalette::Highlight, QColor::fromRgbF(mix(choice.redF(), base.redF()),
                                                           mix(choice.greenF(), base.greenF()),
                                                           mix(choice.blueF(), base.blueF())));
    view->setPalette(palette);
    view->setItemDelegate(new OwnColourWhenChosen(view));
}

void commitOnEnter(QAbstractItemView* view) {
    view->setItemDelegate(new CommitOnEnter(view));
}

}  // namespace anypoint
