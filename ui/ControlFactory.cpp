#include "ControlFactory.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOptionGroupBox>
#include <QStylePainter>
#include <algorithm>
#include <climits>

#include "ReadableControls.h"
#include "ValueBox.h"

// An option button that is a Tab stop of its own. Qt gives a group of
// auto-exclusive radio buttons a single Tab stop, the chosen one, so these
// exclude the other option buttons of their frame themselves; clicking the
// chosen one keeps it chosen.
class OptionButton : public QRadioButton {
    Q_OBJECT
  public:
    OptionButton(const QString& caption, QWidget* parent) : QRadioButton(caption, parent) {
        setAutoExclusive(false);
        connect(this, &QAbstractButton::toggled, this, [this](bool checked) {
            if (!checked) {
                return;
            }
            for (auto* other :
                 parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
                if (other != this) {
                    other->setChecked(false);
                }
            }
        });
    }

  protected:
    void nextCheckState() override { setChecked(true); }
};

namespace {

// Scrolls a box's text back to its start when the focus leaves it: the Tab
// key selects the whole text and leaves its end in view.
class StartWhenLeft : public QObject {
  public:
    explicit StartWhenLeft(QComboBox* combo) : QObject(combo), combo_(combo) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) {
            combo_->lineEdit()->setCursorPosition(0);
        }
        return false;
    }

  private:
    QComboBox* combo_;
};

// Qt reads a checkable button that excludes no others as a check box; an
// option button excludes the others of its frame itself, so it reads as the
// radio button it is.
class AccessibleOptionButton : public QAccessibleWidget {
  public:
    explicit AccessibleOptionButton(OptionButton* option)
        : QAccessibleWidget(option, QAccessible::RadioButton) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && option()->accessibleName().isEmpty()) {
            return option()->text();
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = option()->isChecked();
        return s;
    }
    QStringList actionNames() const override {
        QStringList names;
        if (option()->isEnabled()) {
            names << toggleAction();
        }
        return names << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == toggleAction() || action == pressAction()) {
            option()->click();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }

  private:
    OptionButton* option() const { return static_cast<OptionButton*>(widget()); }
};

QAccessibleInterface* accessibleControl(const QString&, QObject* object) {
    if (auto* box = qobject_cast<ValueBox*>(object)) {
        return accessibleValueBox(box);
    }
    if (auto* option = qobject_cast<OptionButton*>(object)) {
        return new AccessibleOptionButton(option);
    }
    return accessibleReadable(object);
}

QColor toColor(Rgb c) {
    return QColor(c.red, c.green, c.blue);
}

// A frame whose caption alone is coloured. A style sheet would colour it too,
// but a widget under a style sheet no longer passes the window's font on to
// its children; the style's own painting, told the colour, keeps that.
class ColouredFrame : public ControlFrame {
  public:
    ColouredFrame(const QString& caption, QColor colour, QWidget* parent)
        : ControlFrame(caption, parent), colour_(colour) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionGroupBox option;
        initStyleOption(&option);
        // Some styles draw the title in the given text colour, others in the
        // palette's; this palette is the option's copy, not the children's.
        option.textColor = colour_;
        option.palette.setColor(QPalette::WindowText, colour_);
        painter.drawComplexControl(QStyle::CC_GroupBox, option);
    }

  private:
    QColor colour_;
};

// A drop-down list's parts as Windows measures them, for which the window
// was laid out: a 2-pixel frame and a 17-pixel arrow button, where Qt's
// styles take 19 pixels or more for the button and leave the items less room.
// The list that drops down is as wide as its longest item, as on Windows,
// not cut to the box's width.
class DesignedComboStyle : public QProxyStyle {
  public:
    DesignedComboStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {
        setParent(qApp);
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        if (control == CC_ComboBox && part == SC_ComboBoxListBoxPopup) {
            return listRect(QProxyStyle::subControlRect(control, option, part, widget), widget);
        }
        if (control != CC_ComboBox || (part != SC_ComboBoxEditField && part != SC_ComboBoxArrow)) {
            return QProxyStyle::subControlRect(control, option, part, widget);
        }
        constexpr int kFrame = 2;
        constexpr int kArrow = 17;
        const QRect r = option->rect.adjusted(kFrame, kFrame, -kFrame, -kFrame);
        const QRect rect = part == SC_ComboBoxEditField
                               ? QRect(r.left(), r.top(), r.width() - kArrow, r.height())
                               : QRect(r.right() - kArrow + 1, r.top(), kArrow, r.height());
        return visualRect(option->direction, option->rect, rect);
    }

  private:
    static QRect listRect(QRect under, const QWidget* widget) {
        const auto* combo = qobject_cast<const QComboBox*>(widget);
        if (combo == nullptr) {
            return under;
        }
        const QAbstractItemView* view = combo->view();
        const auto* frame = qobject_cast<const QFrame*>(view->parentWidget());
        int width = view->sizeHintForColumn(combo->modelColumn()) +
                    2 * (view->frameWidth() + (frame ? frame->frameWidth() : 0));
        if (combo->count() > combo->maxVisibleItems()) {
            width += view->verticalScrollBar()->sizeHint().width();
        }
        under.setWidth(std::max(under.width(), width));
        return under;
    }
};

QStyle* designedComboStyle() {
    static QStyle* const style = new DesignedComboStyle;
    return style;
}

// Qt's line edits stop at 32767 characters unless told otherwise; the
// window's text boxes have no limit.
void unlimit(QLineEdit* edit) {
    edit->setMaxLength(INT_MAX);
}

QWidget* create(const ControlSpec& spec, QWidget* parent) {
    switch (spec.kind) {
        case ControlKind::Frame:
            if (spec.foreground) {
                return new ColouredFrame(spec.caption, toColor(*spec.foreground), parent);
            }
            return new ControlFrame(spec.caption, parent);
        case ControlKind::Caption:
            return new QLabel(spec.caption, parent);
        case ControlKind::ValueBox: {
            auto* label = new ValueBox(spec.caption, parent);
            label->setFrameStyle(QFrame::Box | QFrame::Plain);
            label->setLineWidth(1);
            label->setAlignment((spec.centred ? Qt::AlignHCenter : Qt::AlignLeft) |
                                Qt::AlignVCenter);
            return label;
        }
        case ControlKind::Button:
            return new QPushButton(spec.caption, parent);
        case ControlKind::OptionButton:
            return new OptionButton(spec.caption, parent);
        case ControlKind::ComboBox: {
            auto* combo = new CaptionedCombo(parent);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            unlimit(combo->lineEdit());
            combo->setEditText(spec.caption);
            combo->setStyle(designedComboStyle());
            // A box not being edited shows its text from the start, its code
            // before the colon first, even where its words run past the box:
            // after a choice, after its text was set, and once the focus has
            // passed through it.
            QLineEdit* edit = combo->lineEdit();
            QObject::connect(combo, &QComboBox::currentIndexChanged, edit,
                             [edit] { edit->setCursorPosition(0); });
            QObject::connect(edit, &QLineEdit::textChanged, edit, [edit] {
                // Set, not typed: typing marks the text modified.
                if (!edit->hasFocus() && !edit->isModified()) {
                    edit->setCursorPosition(0);
                }
            });
            combo->installEventFilter(new StartWhenLeft(combo));
            return combo;
        }
        case ControlKind::TextBox: {
            auto* edit = new QLineEdit(spec.caption, parent);
            unlimit(edit);
            return edit;
        }
    }
    return nullptr;
}

}  // namespace

int toPixels(int twips) {
    return twips / kTwipsPerPixel;
}

void preferChineseFaces() {
    // A desktop without the Windows Song face would otherwise fall back to a
    // Latin face first, whose wider letters no longer fit the captions laid
    // out for it. AR PL UMing (Debian's fonts-arphic-uming, which the package
    // depends on) is a Song face with SimSun's widths: Latin letters and
    // digits half as wide as a Chinese character. The faces after it carry
    // both scripts, but with wider digits.
    static const bool done = [] {
        QFont::insertSubstitutions(
            QStringLiteral("宋体"),
            {QStringLiteral("SimSun"), QStringLiteral("NSimSun"), QStringLiteral("AR PL UMing CN"),
             QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
             QStringLiteral("Droid Sans Fallback")});
        return true;
    }();
    (void)done;
}

QFont fontFor(FontFace face) {
    QFont font;
    switch (face) {
        case FontFace::Default:
            return font;
        case FontFace::Song9Italic:
            font = QFont(QStringLiteral("宋体"));
            font.setPointSizeF(9);
            font.setItalic(true);
            break;
        case FontFace::Song10_5Italic:
            font = QFont(QStringLiteral("宋体"));
            font.setPointSizeF(10.5);
            font.setItalic(true);
            break;
        case FontFace::Song10_5:
            font = QFont(QStringLiteral("宋体"));
            font.setPointSizeF(10.5);
            break;
        case FontFace::Arial10_5BoldItalic:
            font = QFont(QStringLiteral("Arial"));
            font.setPointSizeF(10.5);
            font.setBold(true);
            font.setItalic(true);
            break;
    }
    return font;
}

void setBackgroundColour(QWidget* widget, Rgb colour) {
    QPalette palette = widget->palette();
    const QColor wanted = toColor(colour);
    if (widget->autoFillBackground() && palette.color(QPalette::Window) == wanted) {
        return;
    }
    palette.setColor(QPalette::Window, wanted);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QHash<QString, QWidget*> buildControls(QWidget* client, const std::vector<ControlSpec>& layout) {
    static const bool readable = [] {
        QAccessible::installFactory(accessibleControl);
        return true;
    }();
    (void)readable;
    QHash<QString, QWidget*> controls;
    for (const ControlSpec& spec : layout) {
        QWidget* parent = spec.parent.isEmpty() ? client : controls.value(spec.parent, client);
        QWidget* widget = create(spec, parent);
        widget->setObjectName(spec.name);
        widget->setGeometry(toPixels(spec.rect.left), toPixels(spec.rect.top),
                            toPixels(spec.rect.width), toPixels(spec.rect.height));
        if (spec.font != FontFace::Default) {
            widget->setFont(fontFor(spec.font));
        }
        if (spec.background) {
            setBackgroundColour(widget, *spec.background);
        }
        if (spec.foreground && spec.kind != ControlKind::Frame) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::WindowText, toColor(*spec.foreground));
            widget->setPalette(palette);
        }
        widget->setVisible(!spec.hidden);
        controls.insert(spec.name, widget);
    }
    return controls;
}

#include "ControlFactory.moc"
