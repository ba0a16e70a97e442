#include "AccessibleNames.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

#include "ReadableControls.h"

namespace {

// Controls no caption names; the rest are derived.
const QHash<QString, AccessibleText>& unnamedControls() {
    static const QHash<QString, AccessibleText> texts = {
        {"Command9", {"打开", "打开所选的通讯端口"}},
        {"Command10", {"关闭", "关闭通讯端口"}},
        {"Command2AC(15)", {"清零", "清零模块的全部计数"}},
        {"Label2(9)", {"日期"}},
        {"Label2(10)", {"时间"}},
    };
    return texts;
}

bool sameRow(const Twips& a, const Twips& b) {
    return a.top < b.top + b.height && b.top < a.top + a.height;
}

// `k` sits right under `c`: its middle within c's width, no further down
// than c is high.
bool under(const ControlSpec& c, const ControlSpec& k) {
    const int middle = k.rect.left + k.rect.width / 2;
    const int bottom = c.rect.top + c.rect.height;
    return middle >= c.rect.left && middle < c.rect.left + c.rect.width && k.rect.top >= bottom &&
           k.rect.top < bottom + c.rect.height;
}

// The shown control of `kind` in c's frame right under c, else the nearest
// one on its left in the same row.
const ControlSpec* besideOf(const ControlSpec& c, ControlKind kind,
                            const std::vector<ControlSpec>& layout) {
    const ControlSpec* left = nullptr;
    for (const ControlSpec& k : layout) {
        if (k.kind != kind || k.hidden || k.parent != c.parent || &k == &c) {
            continue;
        }
        if (under(c, k)) {
            return &k;
        }
        if (sameRow(c.rect, k.rect) && k.rect.left < c.rect.left &&
            (!left || k.rect.left > left->rect.left)) {
            left = &k;
        }
    }
    return left;
}

// "置位Y1" -> "Y1": what a button acts on, after its verb.
QString objectOf(const QString& caption) {
    static const QRegularExpression latin("[A-Za-z]");
    const qsizetype at = caption.indexOf(latin);
    return at < 0 ? QString() : caption.mid(at);
}

}  // namespace

QHash<QString, AccessibleText> accessibleTexts(const std::vector<ControlSpec>& layout) {
    static const QRegularExpression counterFrame(R"(^(\w+?)计数值$)");
    static const QRegularExpression bits(R"(\d)");
    QHash<QString, QString> titles;
    QHash<QString, AccessibleText> texts;
    QHash<const ControlSpec*, QString> editorOfRow;  // by the row's caption
    for (const ControlSpec& c : layout) {
        if (c.kind == ControlKind::Frame) {
            titles.insert(c.name, c.caption);
        }
        if (c.hidden || c.kind == ControlKind::Frame || c.kind == ControlKind::Caption) {
            continue;
        }
        if (unnamedControls().contains(c.name)) {
            texts.insert(c.name, unnamedControls().value(c.name));
            continue;
        }
        const ControlSpec* caption = besideOf(c, ControlKind::Caption, layout);
        switch (c.kind) {
            case ControlKind::ValueBox:
                if (caption) {
                    texts.insert(c.name, {caption->caption, {}, caption->name});
                } else if (const ControlSpec* b = besideOf(c, ControlKind::Button, layout)) {
                    texts.insert(c.name, {objectOf(b->caption)});
                }
                break;
            case ControlKind::ComboBox:
            case ControlKind::TextBox:
                if (caption) {
                    // An editor beside a value box of the same caption sets it.
                    const bool setsValue = besideOf(c, ControlKind::ValueBox, layout) != nullptr;
                    const QString word = c.kind == ControlKind::ComboBox ? "功能" : "新值";
                    const QString name =
                        setsValue ? caption->caption + ' ' + word : caption->caption;
                    texts.insert(c.name, {name, {}, caption->name});
                    editorOfRow.insert(caption, name);
                }
                break;
            case ControlKind::OptionButton:
                texts.insert(c.name, {titles.value(c.parent) + ' ' + c.caption});
                break;
            case ControlKind::Button:
                if (caption) {
                    texts.insert(
                        c.name, {c.caption + ' ' + caption->caption,
                                 QStringLiteral("把“%1”写入模块").arg(editorOfRow.value(caption))});
                } else if (const auto input = counterFrame.match(titles.value(c.parent));
                           input.hasMatch()) {
                    // "清零16位" in frame "X2计数值": "清零 X2 16位计数".
                    const qsizetype digits = c.caption.indexOf(bits);
                    const ControlSpec* box = besideOf(c, ControlKind::ValueBox, layout);
                    texts.insert(
                        c.name,
                        {QStringLiteral("%1 %2 %3计数")
                             .arg(c.caption.left(digits), input.captured(1), c.caption.mid(digits)),
                         box ? QStringLiteral("把“%1”清零").arg(texts.value(box->name).name)
                             : QString()});
                }
                break;
            case ControlKind::Frame:
            case ControlKind::Caption:
                break;
        }
    }
    return texts;
}

void nameControls(const QHash<QString, QWidget*>& controls,
                  const std::vector<ControlSpec>& layout) {
    const QHash<QString, AccessibleText> texts = accessibleTexts(layout);
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        QWidget* w = controls.value(it.key());
        if (!w) {
            continue;
        }
        w->setAccessibleName(it->name);
        w->setAccessibleDescription(it->description);
        if (auto* caption = qobject_cast<QLabel*>(controls.value(it->caption))) {
            caption->setBuddy(w);
            markNamesAnother(caption);
        }
        // The focus goes into an editable list's text, which says the same.
        if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->lineEdit()) {
            combo->lineEdit()->setAccessibleName(it->name);
        }
    }
}
