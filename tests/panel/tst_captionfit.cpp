// Every caption of the main window fits the room its control gives it at the
// designed geometry, measured with QFontMetrics in the face that stands in
// for 宋体: a button's, option button's or label's caption, a frame's title,
// a drop-down list's current item; and every item of a list, once chosen,
// shows from its start, its code first, and whole in the list that drops
// down.

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTest>

#include "Layout.h"
#include "RecordingDriver.h"
#include "ssqx.h"

namespace {

// Qt's line edit keeps this many pixels free at each side of its text.
constexpr int kLineEditMargin = 2;

struct Fit {
    QString text;  // as drawn: a trailing blank shows nothing
    int width;     // its advance in the control's font
    int room;      // what the control leaves for it
};

QString drawn(const QString& text) {
    QString t = text;
    while (t.endsWith(QLatin1Char(' '))) {
        t.chop(1);
    }
    return t;
}

Fit fit(const QWidget* w, const QString& text, int room) {
    return {drawn(text), w->fontMetrics().horizontalAdvance(drawn(text)), room};
}

// What a drop-down list's edit line leaves for its text.
int editRoom(const QComboBox* combo) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    return combo->style()
               ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
               .width() -
           2 * kLineEditMargin;
}

QList<Fit> captionsOf(QWidget* w) {
    QStyle* style = w->style();
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        return {fit(combo, combo->currentText(), editRoom(combo))};
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool radio = qobject_cast<QRadioButton*>(button) != nullptr;
        const QRect room = style->subElementRect(
            radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option,
            button);
        return {fit(button, button->text(), room.width())};
    }
    if (auto* frame = qobject_cast<QGroupBox*>(w)) {
        // The title is laid out from the frame's left margin; what is left of
        // the frame's width past that margin is its room.
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxLabel;
        const QRect label =
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
        const int margin = label.left();
        return {fit(frame, frame->title(), frame->width() - 2 * margin)};
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        int room = label->contentsRect().width() - 2 * label->margin();
        if (label->frameWidth() > 0 && label->indent() < 0 && !label->text().isEmpty() &&
            !(label->alignment() & Qt::AlignHCenter)) {
            room -= label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
        }
        return {fit(label, label->text(), room)};
    }
    return {};
}

}  // namespace

class tst_CaptionFit : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void songHasItsStandIn();
    void captionFits_data();
    void captionFits();
    void chosenItemShowsItsStart_data();
    void chosenItemShowsItsStart();

  private:
    RecordingDriver driver;
    std::unique_ptr<ssqx> window;
};

void tst_CaptionFit::initTestCase() {
    window = std::make_unique<ssqx>(driver, [] {});
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

// 宋体 is SimSun where it is installed, else the Song face the package
// depends on, whose Latin letters are half as wide as a Chinese one.
void tst_CaptionFit::songHasItsStandIn() {
    const QString family = QFontInfo(window->font()).family();
    QVERIFY2(family == "SimSun" || family == "AR PL UMing CN", qPrintable(family));
    const QFontMetrics metrics(window->font());
    QCOMPARE(2 * metrics.horizontalAdvance(QLatin1Char('0')), metrics.horizontalAdvance("中"));
}

void tst_CaptionFit::captionFits_data() {
    QTest::addColumn<QString>("name");
    for (const ControlSpec& spec : mainWindowLayout()) {
        if (!spec.hidden) {
            QTest::newRow(qPrintable(spec.name)) << spec.name;
        }
    }
}

void tst_CaptionFit::captionFits() {
    QFETCH(QString, name);
    QWidget* w = window->findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    QStringList clipped;
    for (const Fit& f : captionsOf(w)) {
        if (f.width > f.room) {
            clipped << QStringLiteral("\"%1\" %2 px in %3 px").arg(f.text).arg(f.width).arg(f.room);
        }
    }
    QVERIFY2(clipped.isEmpty(),
             qPrintable(QFontInfo(w->font()).family() + ": " + clipped.join(QStringLiteral("; "))));
}

void tst_CaptionFit::chosenItemShowsItsStart_data() {
    QTest::addColumn<QString>("name");
    for (const ControlSpec& spec : mainWindowLayout()) {
        if (!spec.hidden && spec.kind == ControlKind::ComboBox) {
            QTest::newRow(qPrintable(spec.name)) << spec.name;
        }
    }
}

void tst_CaptionFit::chosenItemShowsItsStart() {
    QFETCH(QString, name);
    auto* combo = window->findChild<QComboBox*>(name);
    QVERIFY2(combo, qPrintable(name));
    const int designed = combo->currentIndex();
    QStringList hidden;
    for (int i = combo->count() - 1; i >= 0; --i) {
        combo->setCurrentIndex(i);
        // The Tab key passing through leaves the end in view, until it leaves.
        combo->setFocus(Qt::TabFocusReason);
        combo->lineEdit()->end(false);
        window->setFocus();
        // The line edit scrolls its text only as far as keeps the cursor in
        // view: at 0 the start shows.
        const Fit f = fit(combo, combo->itemText(i), editRoom(combo));
        if (f.width > f.room && combo->lineEdit()->cursorPosition() != 0) {
            hidden << QStringLiteral("\"%1\" %2 px in %3 px").arg(f.text).arg(f.width).arg(f.room);
        }
    }
    combo->setCurrentIndex(designed);
    QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(QStringLiteral("; "))));
    // The list that drops down shows every item whole, however narrow the box.
    combo->showPopup();
    const int room = combo->view()->viewport()->width();
    combo->hidePopup();
    QVERIFY2(room >= combo->view()->sizeHintForColumn(0), qPrintable(QString::number(room)));
}

QTEST_MAIN(tst_CaptionFit)
#include "tst_captionfit.moc"
