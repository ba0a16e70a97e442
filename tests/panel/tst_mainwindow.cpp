#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <atomic>

#include "Announcement.h"
#include "FindModuleDialog.h"
#include "Layout.h"
#include "RecordingDriver.h"
#include "RecordingWindow.h"
#include "TrendWindow.h"
#include "WindowPlacement.h"
#include "frmSplash.h"
#include "ssqx.h"

namespace {

QWidget* find(ssqx& w, const QString& name) {
    return w.findChild<QWidget*>(name);
}

template <typename T>
T* find(ssqx& w, const QString& name) {
    return w.findChild<T*>(name);
}

QRect pixels(const Twips& t) {
    return {t.left / 15, t.top / 15, t.width / 15, t.height / 15};
}

void click(ssqx& w, const QString& name) {
    auto* button = find<QAbstractButton>(w, name);
    QVERIFY2(button, qPrintable(name));
    QTest::mouseClick(button, Qt::LeftButton);
}

// Posts a click of a button, or a tick of a timer, to run at the next yield.
void post(ssqx& w, const QString& name) {
    QObject* target = w.findChild<QObject*>(name);
    QVERIFY2(target, qPrintable(name));
    QMetaObject::invokeMethod(target, qobject_cast<QTimer*>(target) ? "timeout" : "click",
                              Qt::QueuedConnection);
}

// The font each control is drawn in, as the window was designed: the
// exceptions named one by one, every other control in the window's own
// 9 pt 宋体. "face size [bold] [italic]".
QString designedFont(const QString& name) {
    static const QRegularExpression valueBox(R"(^(B_2R|B_1RW|D_4R|D_4R32|D_4R4)\(\d+\)$)");
    static const QRegularExpression configCombo("^Combo([3-9]|10|11)$");
    if (name == "Command1") {
        return "宋体 10.5";
    }
    if (name == "Label2(9)" || name == "Label2(10)") {
        return "Arial 10.5 bold italic";
    }
    if (name == "D_4WRW(21)") {
        return "宋体 10.5 italic";
    }
    if (name == "Label1(22)" || valueBox.match(name).hasMatch() ||
        configCombo.match(name).hasMatch()) {
        return "宋体 9 italic";
    }
    return "宋体 9";
}

QString fontText(const QFont& f) {
    return QStringLiteral("%1 %2%3%4")
        .arg(f.family())
        .arg(f.pointSizeF())
        .arg(f.bold() ? " bold" : "")
        .arg(f.italic() ? " italic" : "");
}

QString captionOf(QWidget* w) {
    if (auto* frame = qobject_cast<QGroupBox*>(w)) {
        return frame->title();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        return edit->text();
    }
    return qobject_cast<QComboBox*>(w)->currentText();
}

// The named control that has the keyboard focus (a combo box's own line
// edit counts as the combo box).
QString focusedControl() {
    QWidget* w = QApplication::focusWidget();
    while (w && w->objectName().isEmpty()) {
        w = w->parentWidget();
    }
    return w ? w->objectName() : QString();
}

}  // namespace

class tst_MainWindow : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void windowFrame();
    void everyControlAsLaidOut();
    void arraysHaveExactlyTheirMembers_data();
    void arraysHaveExactlyTheirMembers();
    void controlsInsideTheirFrames();
    void visibleControlsDoNotOverlap();
    void listsAndDefaults();
    void typedTextIsNotAddedToList();
    void textBoxesHaveNoLengthLimit();
    void tabOrder();
    void tabKeyStopsAtEveryControlInOrder();
    void statusButtonShortcuts_data();
    void statusButtonShortcuts();
    void fontsAsDesigned();
    void frameCaptionsInTheirColours_data();
    void frameCaptionsInTheirColours();
    void sampleAsDesigned_data();
    void sampleAsDesigned();
    void optionButtonsExcludeEachOther_data();
    void optionButtonsExcludeEachOther();
    void placementKeepsTitleBarOnScreen_data();
    void placementKeepsTitleBarOnScreen();
    void toolWindowKeptOnScreen_data();
    void toolWindowKeptOnScreen();
    void splashTitleBarIsEmpty();
    void findStartsWhereOpenWould_data();
    void findStartsWhereOpenWould();
    void useFillsWhatOpenReads();
    void finderOpensAgainAfterEsc();
    void workspaceComesBack();
    void rowFailuresStayInTheirRow();
    void manualNotationTyped_data();
    void manualNotationTyped();
    void everyNameAHandlerUsesExists();
    void eachTimerDrivesItsPoll_data();
    void eachTimerDrivesItsPoll();
    void closeDuringStatusTick_data();
    void closeDuringStatusTick();
    void closeRequestsAreRefused();
    void arrayClickArrivesWithItsIndex_data();
    void arrayClickArrivesWithItsIndex();
    void openStartsPollsCloseStopsThem();
    void closeBlanksStatusButKeepsValues();
    void numberBoxSaysWhatItCorrects_data();
    void numberBoxSaysWhatItCorrects();
    void writeSaysWhatWasNotDone_data();
    void writeSaysWhatWasNotDone();
    void failedReadLooksOld_data();
    void failedReadLooksOld();
    void clickDuringYieldRunsBetweenReads_data();
    void clickDuringYieldRunsBetweenReads();
    void ticksShowModuleState();
    void searchWaitsForTheTickItInterrupted();

  private:
    RecordingDriver driver;
    std::unique_ptr<ssqx> window;
    int exits = 0;
};

void tst_MainWindow::init() {
    driver = RecordingDriver();
    exits = 0;
    window = std::make_unique<ssqx>(driver, [this] { ++exits; });
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void tst_MainWindow::cleanup() {
    window.reset();
}

void tst_MainWindow::windowFrame() {
    QCOMPARE(window->windowTitle(), "计数测频模块 TQ7310 测试程序");
    QCOMPARE(window->centralWidget()->size(), QSize(1035, 611));
    const QList<QSize> sizes = window->windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(sizes.contains(QSize(48, 48)));
    QCOMPARE(find<QLabel>(*window, "Label2(9)")->text(), "2001-03-12");
    QCOMPARE(find<QLabel>(*window, "Label2(10)")->text(), "18：42：00");
    for (int i = 0; i < 13; ++i) {
        QCOMPARE(find<QLabel>(*window, memberName("D_4R4", i))->text(), "");
    }
    auto* timer1 = window->findChild<QTimer*>("Timer1");
    auto* timer2 = window->findChild<QTimer*>("Timer2");
    QCOMPARE(timer1->interval(), 500);
    QCOMPARE(timer2->interval(), 1000);
    QVERIFY(!timer1->isActive());
    QVERIFY(!timer2->isActive());
}

void tst_MainWindow::everyControlAsLaidOut() {
    for (const ControlSpec& spec : mainWindowLayout()) {
        QWidget* w = find(*window, spec.name);
        QVERIFY2(w, qPrintable(spec.name));
        QCOMPARE(w->geometry(), pixels(spec.rect));
        QCOMPARE(w->isHidden(), spec.hidden);
        const QString parentName = w->parentWidget()->objectName();
        QCOMPARE(parentName, spec.parent.isEmpty() ? QString("client") : spec.parent);
        switch (spec.kind) {
            case ControlKind::Frame:
                QCOMPARE(qobject_cast<QGroupBox*>(w)->title(), spec.caption);
                break;
            case ControlKind::Caption:
                QCOMPARE(qobject_cast<QLabel*>(w)->text(), spec.caption);
                QCOMPARE(qobject_cast<QLabel*>(w)->frameShape(), QFrame::NoFrame);
                break;
            case ControlKind::ValueBox: {
                auto* label = qobject_cast<QLabel*>(w);
                QCOMPARE(label->frameShape(), QFrame::Box);
                QVERIFY(label->autoFillBackground());
                // Whatever name it is given, a box reads out its value.
                QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Value),
                         label->text());
                break;
            }
            case ControlKind::Button:
                QVERIFY(qobject_cast<QPushButton*>(w));
                QCOMPARE(qobject_cast<QPushButton*>(w)->text(), spec.caption);
                break;
            case ControlKind::OptionButton:
                QCOMPARE(qobject_cast<QRadioButton*>(w)->text(), spec.caption);
                break;
            case ControlKind::ComboBox:
                QVERIFY(qobject_cast<QComboBox*>(w)->isEditable());
                break;
            case ControlKind::TextBox:
                QCOMPARE(qobject_cast<QLineEdit*>(w)->text(), "");
                break;
        }
    }
    // A few captions checked against their exact text, blanks included.
    QCOMPARE(find<QGroupBox>(*window, "Frame1(0)")->title(), "X1-4   DI1");
    QCOMPARE(find<QGroupBox>(*window, "Frame4")->title(), "CONFIG ");
    QCOMPARE(find<QPushButton>(*window, "Command2AC(15)")->text(), "清零");
    QCOMPARE(find<QLabel>(*window, "Label1(27)")->text(), "X4频率值32位");
    QCOMPARE(find<QLabel>(*window, "Label1(23)")->text(), "计数测频功能选择");
    QCOMPARE(find<QPushButton>(*window, "Command3(3)")->text(), "复位Y4");
    QCOMPARE(find<QLabel>(*window, "B_2R(0)")->palette().color(QPalette::Window),
             QColor(192, 255, 255));
    QCOMPARE(find<QLabel>(*window, "B_1RW(0)")->palette().color(QPalette::Window),
             QColor(255, 255, 192));
    QCOMPARE(find<QLabel>(*window, "D_4R32(5)")->palette().color(QPalette::Window),
             QColor(255, 192, 255));
    QCOMPARE(find<QLabel>(*window, "Label2(9)")->palette().color(QPalette::WindowText),
             QColor(255, 0, 0));
    QVERIFY(find(*window, "B_1RW(4)")->isHidden());
    QVERIFY(find(*window, "Command2(4)")->isHidden());
    QVERIFY(find(*window, "Command4")->isHidden());
    QVERIFY(find(*window, "Combo12")->isHidden());
}

void tst_MainWindow::arraysHaveExactlyTheirMembers_data() {
    QTest::addColumn<QString>("array");
    QTest::addColumn<QList<int>>("members");
    auto range = [](int first, int last) {
        QList<int> r;
        for (int i = first; i <= last; ++i) {
            r << i;
        }
        return r;
    };
    QTest::newRow("B_2R") << "B_2R" << range(0, 9);
    QTest::newRow("B_1RW") << "B_1RW" << range(0, 4);
    QTest::newRow("Command2") << "Command2" << range(0, 4);
    QTest::newRow("Command3") << "Command3" << range(0, 4);
    QTest::newRow("Command2A") << "Command2A" << range(0, 3);
    QTest::newRow("Command2B") << "Command2B" << range(0, 3);
    QTest::newRow("Command2AC") << "Command2AC" << range(0, 12) + QList<int>{15};
    QTest::newRow("D_4R") << "D_4R" << range(0, 3);
    QTest::newRow("D_4R32") << "D_4R32" << range(0, 7);
    QTest::newRow("D_4R4") << "D_4R4" << range(0, 12);
    QTest::newRow("D_4WRW") << "D_4WRW" << QList<int>{21};
    QTest::newRow("Text1") << "Text1" << QList<int>{5, 7, 9, 11};
    QTest::newRow("Frame1") << "Frame1" << QList<int>{0, 1, 33};
    QTest::newRow("Frame2") << "Frame2" << QList<int>{1};
    QTest::newRow("Frame3") << "Frame3" << range(0, 3);
    QTest::newRow("Frame5") << "Frame5" << QList<int>{0, 1};
    QTest::newRow("Label1") << "Label1" << range(0, 27);
    QTest::newRow("Label2") << "Label2" << QList<int>{9, 10};
    QTest::newRow("Label6") << "Label6" << range(0, 9);
    QTest::newRow("Option1") << "Option1" << range(0, 2);
    QTest::newRow("Option2") << "Option2" << range(0, 2);
}

void tst_MainWindow::arraysHaveExactlyTheirMembers() {
    QFETCH(QString, array);
    QFETCH(QList<int>, members);
    const QRegularExpression member("^" + QRegularExpression::escape(array) + "\\((\\d+)\\)$");
    QList<int> found;
    for (QWidget* w : window->findChildren<QWidget*>(member)) {
        found << member.match(w->objectName()).captured(1).toInt();
    }
    std::sort(found.begin(), found.end());
    QCOMPARE(found, members);
}

void tst_MainWindow::controlsInsideTheirFrames() {
    for (auto* frame : window->findChildren<QGroupBox*>()) {
        for (auto* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->objectName().isEmpty()) {
                continue;  // Qt's own parts
            }
            QVERIFY2(QRect(QPoint(0, 0), frame->size()).contains(child->geometry()),
                     qPrintable(child->objectName() + " in " + frame->objectName()));
        }
    }
}

void tst_MainWindow::visibleControlsDoNotOverlap() {
    for (const ControlSpec& a : mainWindowLayout()) {
        for (const ControlSpec& b : mainWindowLayout()) {
            if (&a >= &b || a.parent != b.parent || a.hidden || b.hidden) {
                continue;
            }
            QVERIFY2(!pixels(a.rect).intersects(pixels(b.rect)),
                     qPrintable(a.name + " overlaps " + b.name));
        }
    }
}

void tst_MainWindow::listsAndDefaults() {
    auto items = [&](const QString& name) {
        QStringList list;
        auto* combo = find<QComboBox>(*window, name);
        for (int i = 0; i < combo->count(); ++i) {
            list << combo->itemText(i);
        }
        return list;
    };
    const QStringList ports = items("Combo1");
    QCOMPARE(ports.size(), 19);
    QCOMPARE(ports.first(), "1 ");
    QCOMPARE(ports.last(), "19 ");
    QCOMPARE(items("Combo2").size(), 16);
    QCOMPARE(items("Combo2").last(), "16 ");
    QCOMPARE(items("Combo12"), (QStringList{"0:无校验 ", "1:奇校验 ", "2:偶校验 "}));
    const QStringList functions = {"0:DI开关量输入 ", "1:清零16位X1计数 ", "2:清零32位X1计数 "};
    for (const char* combo : {"Combo3", "Combo4", "Combo5", "Combo6"}) {
        QCOMPARE(items(combo), functions);
    }
    QCOMPARE(items("Combo7"), (QStringList{"0:通讯控制功能", "1:预置值到达报警 "}));
    QCOMPARE(items("Combo9"), (QStringList{"0:通讯控制功能", "1:预置值到达报警 "}));
    QCOMPARE(items("Combo8"), (QStringList{"0:通讯控制功能 ", "1:预置值到达报警 "}));
    QCOMPARE(items("Combo10"), (QStringList{"0:通讯控制功能 ", "1:预置值到达报警 "}));
    QCOMPARE(items("Combo11"), (QStringList{"0:脉冲计数 ", "1:频率测量 ", "2:12正反，34计数 "}));
    for (const char* combo :
         {"Combo1", "Combo2", "Combo3", "Combo7", "Combo8", "Combo11", "Combo12"}) {
        QCOMPARE(window->text(combo), items(combo).first());
    }
    QVERIFY(find<QRadioButton>(*window, "Option1(0)")->isChecked());
    QVERIFY(find<QRadioButton>(*window, "Option2(2)")->isChecked());
    QVERIFY(!find<QRadioButton>(*window, "Option1(1)")->isChecked());
    QVERIFY(!find<QRadioButton>(*window, "Option2(0)")->isChecked());
    QVERIFY(window->closeLock());
}

void tst_MainWindow::typedTextIsNotAddedToList() {
    auto* combo = find<QComboBox>(*window, "Combo1");
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), "25");
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QCOMPARE(combo->count(), 19);
    QCOMPARE(combo->currentText(), "25");
    click(*window, "Command9");
    QCOMPARE(driver.calls.first(), "OpenPort_Modbus(25,1,2)");
}

void tst_MainWindow::textBoxesHaveNoLengthLimit() {
    const QString longText = "1" + QString(100000, u'0');
    for (const char* name : {"Text1(5)", "Combo3"}) {
        QLineEdit* edit = qobject_cast<QLineEdit*>(find(*window, name));
        if (!edit) {
            edit = find<QComboBox>(*window, name)->lineEdit();
        }
        edit->setText(longText);
        QCOMPARE(edit->text().size(), longText.size());
    }
}

void tst_MainWindow::tabOrder() {
    const auto& expected = mainWindowTabOrder();
    QStringList chain;
    QWidget* w = find(*window, expected.front());
    for (int steps = 0; steps < 2000 && chain.size() < int(expected.size()); ++steps) {
        const QString name = w->objectName();
        if (std::find(expected.begin(), expected.end(), name) != expected.end() &&
            !chain.contains(name)) {
            chain << name;
        }
        w = w->nextInFocusChain();
    }
    QCOMPARE(chain, QStringList(expected.begin(), expected.end()));
}

void tst_MainWindow::closeRequestsAreRefused() {
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    QVERIFY(window->closeLock());
    QTest::keyClick(window.get(), Qt::Key_F4, Qt::AltModifier);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QVERIFY(window->isVisible());
    QCOMPARE(exits, 0);
    click(*window, "Command1");
    QCOMPARE(exits, 1);
    QVERIFY(!window->isVisible());
}

void tst_MainWindow::arrayClickArrivesWithItsIndex_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("expected");
    QTest::newRow("清零 is member 15") << "Command2AC(15)"
                                       << "Set_4X_D1(0,0,1004,7305)";
    QTest::newRow("置位Y3") << "Command2(2)"
                            << "Set_0X_Bit1(0,0,3)";
    QTest::newRow("复位Y1") << "Command3(0)"
                            << "Rst_0X_Bit1(0,0,1)";
    QTest::newRow("X2 清零16位") << "Command2A(1)"
                                 << "Set_0X_Bit1(0,0,1001)";
    QTest::newRow("X4 清零32位") << "Command2B(3)"
                                 << "Set_0X_Bit1(0,0,1007)";
    QTest::newRow("mode row, first entry") << "Command2AC(12)"
                                           << "Set_4X_D1(0,0,13,0)";
    QTest::newRow("empty preset row") << "Command2AC(11)"
                                      << "Set_4X_D1(0,0,12,0)";
}

void tst_MainWindow::arrayClickArrivesWithItsIndex() {
    QFETCH(QString, button);
    QFETCH(QString, expected);
    click(*window, button);
    QCOMPARE(driver.calls, QStringList{expected});
}

void tst_MainWindow::openStartsPollsCloseStopsThem() {
    find<QRadioButton>(*window, "Option1(2)")->click();
    find<QRadioButton>(*window, "Option2(0)")->click();
    find<QComboBox>(*window, "Combo2")->setCurrentIndex(4);
    click(*window, "Command9");
    QCOMPARE(driver.calls, QStringList{"OpenPort_Modbus(1,3,0)"});
    QCOMPARE(window->linkParam()[link_param::kAddress], 5);
    QVERIFY(window->findChild<QTimer*>("Timer1")->isActive());
    QVERIFY(window->findChild<QTimer*>("Timer2")->isActive());
    click(*window, "Command10");
    QCOMPARE(driver.calls.last(), "ClosePort_Modbus(1)");
    QVERIFY(!window->findChild<QTimer*>("Timer1")->isActive());
    QVERIFY(!window->findChild<QTimer*>("Timer2")->isActive());
}

void tst_MainWindow::closeBlanksStatusButKeepsValues() {
    driver.inputBytes[0] = 1;
    driver.coilBytes[0] = 1;
    driver.count16 = {11, 12, 13, 14};
    click(*window, "Command9");
    window->statusPoll().Timer1_Timer();
    window->counterPoll().Timer2_Timer();
    auto* count = find<QLabel>(*window, "D_4R(2)");
    const QColor current = count->palette().color(QPalette::WindowText);
    QCOMPARE(find<QLabel>(*window, "B_2R(0)")->text(), "输入X1闭合");
    QCOMPARE(find<QLabel>(*window, "B_2R(0)")->palette().color(QPalette::Window),
             QColor(0, 255, 0));
    click(*window, "Command10");
    QCOMPARE(find<QLabel>(*window, "B_2R(0)")->text(), " ");
    QCOMPARE(find<QLabel>(*window, "B_2R(0)")->palette().color(QPalette::Window),
             QColor(192, 255, 255));
    QCOMPARE(find<QLabel>(*window, "B_1RW(0)")->text(), " ");
    QCOMPARE(find<QLabel>(*window, "B_1RW(0)")->palette().color(QPalette::Window),
             QColor(255, 255, 192));
    QCOMPARE(count->text(), "13");
    QVERIFY(find<QLabel>(*window, "Label2(9)")->text() != "2001-03-12");
    // Kept, but drawn and told as old until a read answers again.
    static const QRegularExpression old(R"(^读于 \d\d:\d\d:\d\d（端口已关闭）$)");
    QVERIFY2(old.match(count->toolTip()).hasMatch(), qPrintable(count->toolTip()));
    QVERIFY(count->palette().color(QPalette::WindowText) != current);
    click(*window, "Command9");
    window->counterPoll().Timer2_Timer();
    QCOMPARE(count->toolTip(), QString());
    QCOMPARE(count->palette().color(QPalette::WindowText), current);
    // A tick that "关闭" cuts short leaves them old.
    driver.onCall = [&](const QString& op) {
        if (op == "Get_3X_UnDX") {
            post(*window, "Command10");
        }
    };
    window->counterPoll().Timer2_Timer();
    QVERIFY2(old.match(count->toolTip()).hasMatch(), qPrintable(count->toolTip()));
}

// A 读写任意点 number box takes every digit typed and, left with a number
// out of range, brings it to the nearest end and says so.
void tst_MainWindow::numberBoxSaysWhatItCorrects_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("said");
    QTest::newRow("beyond") << "AnyPointAddress"
                            << "999" << 247 << "从站地址只能是 1–247：输入的 999 已改为 247";
    QTest::newRow("below") << "AnyPointFirst"
                           << "0" << 1 << "起始点只能是 1–65536：输入的 0 已改为 1";
    QTest::newRow("within") << "AnyPointAddress"
                            << "17" << 17 << "";
}

void tst_MainWindow::numberBoxSaysWhatItCorrects() {
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(int, value);
    QFETCH(QString, said);
    click(*window, "AnyPoint");
    auto* rows = window->findChild<QWidget*>("AnyPointWindow");
    auto* number = rows->findChild<QSpinBox*>(box);
    number->selectAll();
    QTest::keyClicks(number, typed);
    QTest::keyClick(number, Qt::Key_Return);
    QCOMPARE(number->value(), value);
    QCOMPARE(rows->findChild<QLabel*>("AnyPointNote")->text(), said);
}

// A value not written as typed, or refused by the module, is said in the
// status line and to a screen reader; a write done as typed says nothing.
void tst_MainWindow::writeSaysWhatWasNotDone_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("exceptionCode");  // 0: the module takes the write
    QTest::addColumn<QString>("said");
    QTest::newRow("letters") << "abc" << 0 << "修改 DO1计数预置值：按 0 写入";
    QTest::newRow("beyond 16 bits") << "99999999" << 0 << "修改 DO1计数预置值：超出范围，未写入";
    QTest::newRow("refused") << "7" << 3 << "修改 DO1计数预置值：写入失败：异常应答 03 非法数据值";
    QTest::newRow("done") << "7" << 0 << "";
}

void tst_MainWindow::writeSaysWhatWasNotDone() {
    QFETCH(QString, typed);
    QFETCH(int, exceptionCode);
    QFETCH(QString, said);
    driver.statusReply = Tq7310LinkStatus{};
    driver.statusReply->is_open = 1;
    driver.statusReply->outcome = exceptionCode ? TQ7310_EXCEPTION : TQ7310_OK;
    driver.statusReply->exception_code = exceptionCode;
    driver.writeResults = {exceptionCode ? MODBUSRTU_FAILED : 0,
                           exceptionCode ? MODBUSRTU_FAILED : 0};
    click(*window, "Command9");
    find<QLineEdit>(*window, "Text1(5)")->setText(typed);
    click(*window, "Command2AC(5)");
    QCOMPARE(lastAnnouncement(window.get()), said);
    QCOMPARE(find<QLabel>(*window, "Notice")->text(), said);
}

// A box whose read failed looks as after "关闭", says why, and is told as
// current again by the next good read; the lost link and its return are
// announced.
void tst_MainWindow::failedReadLooksOld_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QColor>("oldBackground");  // invalid: the box keeps its own
    QTest::newRow("input state") << "B_2R(0)" << QColor(192, 255, 255);
    QTest::newRow("output state") << "B_1RW(3)" << QColor(255, 255, 192);
    QTest::newRow("16-bit count after the first") << "D_4R(3)" << QColor();
    QTest::newRow("frequency") << "D_4R32(6)" << QColor();
    QTest::newRow("configuration") << "D_4R4(12)" << QColor();
}

void tst_MainWindow::failedReadLooksOld() {
    QFETCH(QString, box);
    QFETCH(QColor, oldBackground);
    driver.inputBytes[0] = 1;
    driver.statusReply = Tq7310LinkStatus{};
    driver.statusReply->is_open = 1;
    driver.onCall = [this](const QString&) {
        driver.statusReply->outcome = driver.readFailure ? TQ7310_TIMEOUT : TQ7310_OK;
        driver.statusReply->transactions += 1;
    };
    const auto tick = [this] {
        window->statusPoll().Timer1_Timer();
        window->counterPoll().Timer2_Timer();
    };
    click(*window, "Command9");
    tick();
    auto* shown = find<QLabel>(*window, box);
    const QPalette current = shown->palette();
    driver.readFailure = MODBUSRTU_FAILED;
    tick();
    static const QRegularExpression old(R"(^读于 \d\d:\d\d:\d\d（读取失败：超时）$)");
    QVERIFY2(old.match(shown->toolTip()).hasMatch(), qPrintable(shown->toolTip()));
    QVERIFY(shown->palette().color(QPalette::WindowText) != current.color(QPalette::WindowText));
    QCOMPARE(shown->palette().color(QPalette::Window),
             oldBackground.isValid() ? oldBackground : current.color(QPalette::Window));
    QCOMPARE(find<QLabel>(*window, "B_1RW(4)")->toolTip(), QString());  // Y5's, never shown
    QVERIFY2(lastAnnouncement(window.get()).endsWith("地址1 超时：无应答"),
             qPrintable(lastAnnouncement(window.get())));
    driver.readFailure.reset();
    tick();
    QCOMPARE(shown->toolTip(), QString());
    for (auto role : {QPalette::WindowText, QPalette::Window}) {
        QCOMPARE(shown->palette().color(role), current.color(role));
    }
    QCOMPARE(lastAnnouncement(window.get()), "通讯恢复：模块应答正常");
}

void tst_MainWindow::clickDuringYieldRunsBetweenReads_data() {
    QTest::addColumn<QString>("poll");
    QTest::addColumn<QString>("postedAfter");  // the read after which the click is posted
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("output button in status tick")
        << "Timer1"
        << "Get_1X_B16"
        << "Command2(0)" << QStringList{"Get_1X_B16", "Set_0X_Bit1", "Get_0X_B16"};
    QTest::newRow("关闭 in status tick")
        << "Timer1"
        << "Get_1X_B16"
        << "Command10" << QStringList{"Get_1X_B16", "ClosePort_Modbus", "Get_0X_B16"};
    QTest::newRow("clear in counter tick")
        << "Timer2"
        << "Get_3X_LUNDX"
        << "Command2B(0)"
        << QStringList{"Get_3X_UnDX", "Get_3X_LUNDX", "Set_0X_Bit1", "Get_4X_UnDX"};
    QTest::newRow("counter tick in status tick")
        << "Timer1"
        << "Get_1X_B16"
        << "Timer2"
        << QStringList{"Get_1X_B16", "Get_3X_UnDX", "Get_3X_LUNDX", "Get_4X_UnDX", "Get_0X_B16"};
    QTest::newRow("status tick in counter tick")
        << "Timer2"
        << "Get_3X_UnDX"
        << "Timer1"
        << QStringList{"Get_3X_UnDX", "Get_1X_B16", "Get_0X_B16", "Get_3X_LUNDX", "Get_4X_UnDX"};
}

void tst_MainWindow::clickDuringYieldRunsBetweenReads() {
    QFETCH(QString, poll);
    QFETCH(QString, postedAfter);
    QFETCH(QString, button);
    QFETCH(QStringList, expected);
    QStringList order;
    driver.onCall = [&](const QString& op) {
        order << op;
        if (op == postedAfter) {
            post(*window, button);
        }
    };
    poll == "Timer1" ? window->statusPoll().Timer1_Timer() : window->counterPoll().Timer2_Timer();
    QCOMPARE(order, expected);
}

void tst_MainWindow::ticksShowModuleState() {
    driver.inputBytes[0] = 0b1010;
    driver.coilBytes[0] = 0b0100;
    driver.count32 = {1, 2, 3, 4, 50, 60, 70, 80};
    click(*window, "Command9");
    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "B_2R(1)")->text(), "输入X2闭合", 2000);
    QCOMPARE(find<QLabel>(*window, "B_1RW(2)")->text(), "输出Y3闭合");
    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "D_4R32(4)")->text(), "50", 3000);
    QCOMPARE(find<QLabel>(*window, "D_4R32(0)")->text(), "1");
}

void tst_MainWindow::tabKeyStopsAtEveryControlInOrder() {
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    const auto& order = mainWindowTabOrder();
    find(*window, order.front())->setFocus(Qt::TabFocusReason);
    QStringList visited{focusedControl()};
    for (std::size_t i = 1; i <= order.size() + 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << focusedControl();
    }
    QStringList expected(order.begin(), order.end());
    // The status line's buttons, and round again.
    expected << "FindModule"
             << "TrendWindow"
             << "TrafficWindow"
             << "AnyPoint"
             << "ModuleCheck" << order.front();
    QCOMPARE(visited, expected);
}

void tst_MainWindow::statusButtonShortcuts_data() {
    QTest::addColumn<int>("key");  // with Ctrl
    QTest::addColumn<QString>("opens");
    QTest::addColumn<QString>("from");  // the button of the window pressed in; empty: the main
    QTest::newRow("Ctrl+F 查找模块") << int(Qt::Key_F) << "FindModuleDialog"
                                     << "";
    QTest::newRow("Ctrl+G 曲线") << int(Qt::Key_G) << "TrendView"
                                 << "";
    QTest::newRow("Ctrl+L 通讯记录") << int(Qt::Key_L) << "TrafficLog"
                                     << "";
    QTest::newRow("Ctrl+R 读写任意点") << int(Qt::Key_R) << "AnyPointWindow"
                                       << "";
    QTest::newRow("Ctrl+K 自检") << int(Qt::Key_K) << "ModuleCheckWindow"
                                 << "";
    QTest::newRow("Ctrl+L from 读写任意点") << int(Qt::Key_L) << "TrafficLog"
                                            << "AnyPoint";
    QTest::newRow("Ctrl+K from 通讯记录") << int(Qt::Key_K) << "ModuleCheckWindow"
                                          << "TrafficWindow";
}

void tst_MainWindow::statusButtonShortcuts() {
    QFETCH(int, key);
    QFETCH(QString, opens);
    QFETCH(QString, from);
    window->activateWindow();
    if (!from.isEmpty()) {
        click(*window, from);
    }
    QTRY_VERIFY(QApplication::activeWindow() &&
                (from.isEmpty() == (QApplication::activeWindow() == window.get())));
    QTest::keyClick(QApplication::activeWindow(), Qt::Key(key), Qt::ControlModifier);
    const auto opened = [&] { return window->findChild<QWidget*>(opens); };
    QTRY_VERIFY(opened() && opened()->isVisible());
    opened()->close();
}

void tst_MainWindow::fontsAsDesigned() {
    for (QWidget* w : window->centralWidget()->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (name.isEmpty() || name.startsWith("qt_")) {
            continue;  // Qt's own parts of a control
        }
        QCOMPARE(name + ": " + fontText(w->font()), name + ": " + designedFont(name));
    }
}

void tst_MainWindow::frameCaptionsInTheirColours_data() {
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("port frame in red") << "Frame6" << QColor(255, 0, 0);
    QTest::newRow("baud frame in dark green") << "Frame2(1)" << QColor(0, 128, 0);
}

void tst_MainWindow::frameCaptionsInTheirColours() {
    QFETCH(QString, frame);
    QFETCH(QColor, colour);
    const QImage image = find(*window, frame)->grab().toImage();
    // Pixels of the caption's hue, edges of antialiased strokes included;
    // the frame and the controls inside are grey, black or white.
    int tinted = 0;
    for (int y = 0; y < qMin(image.height(), 16); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int hueOff = qAbs(c.hsvHue() - colour.hsvHue());
            tinted += c.hsvSaturation() > 100 && qMin(hueOff, 360 - hueOff) < 20;
        }
    }
    QVERIFY2(tinted > 20, qPrintable(QString::number(tinted)));
}

void tst_MainWindow::sampleAsDesigned_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");  // left, top, width, height
    QTest::newRow("frame") << "Frame6"
                           << "client"
                           << "通讯端口选择" << QRect(90, 270, 2115, 585);
    QTest::newRow("button") << "Command10"
                            << "client"
                            << "关闭" << QRect(5640, 390, 825, 435);
    QTest::newRow("exit") << "Command1"
                          << "client"
                          << "退出" << QRect(11940, 8190, 1095, 405);
    QTest::newRow("clock") << "Label2(10)"
                           << "client"
                           << "18：42：00" << QRect(11730, 90, 1305, 285);
    QTest::newRow("port list") << "Combo1"
                               << "Frame6"
                               << "1 " << QRect(990, 210, 1005, 300);
    QTest::newRow("baud option") << "Option1(1)"
                                 << "Frame2(1)"
                                 << "19200" << QRect(1200, 180, 885, 345);
    QTest::newRow("parity option") << "Option2(2)"
                                   << "Frame5(1)"
                                   << "偶校验" << QRect(2250, 180, 915, 315);
    QTest::newRow("input box") << "B_2R(7)"
                               << "Frame1(33)"
                               << "" << QRect(2610, 240, 1125, 285);
    QTest::newRow("input caption") << "Label6(5)"
                                   << "Frame1(33)"
                                   << "DI2" << QRect(420, 570, 375, 195);
    QTest::newRow("output button") << "Command3(2)"
                                   << "Frame1(1)"
                                   << "复位Y3" << QRect(2684, 1170, 975, 375);
    QTest::newRow("X1 frequency, higher") << "D_4R32(4)"
                                          << "Frame3(0)"
                                          << "" << QRect(6360, 270, 1995, 285);
    QTest::newRow("X2 frequency") << "D_4R32(5)"
                                  << "Frame3(1)"
                                  << "" << QRect(6360, 300, 1995, 285);
    QTest::newRow("frequency caption") << "Label1(24)"
                                       << "Frame3(0)"
                                       << "X1频率值32位" << QRect(6750, 660, 1125, 225);
    QTest::newRow("count caption") << "Label1(4)"
                                   << "Frame3(1)"
                                   << "X2计数值32位" << QRect(3090, 690, 1125, 225);
    QTest::newRow("preset editor") << "Text1(11)"
                                   << "Frame4"
                                   << "" << QRect(8670, 2820, 1545, 315);
    QTest::newRow("mode caption") << "Label1(23)"
                                  << "Frame4"
                                  << "计数测频功能选择" << QRect(60, 3450, 1515, 225);
    QTest::newRow("mode editor") << "Combo11"
                                 << "Frame4"
                                 << "0:脉冲计数 " << QRect(2850, 3360, 1635, 300);
    QTest::newRow("write button") << "Command2AC(12)"
                                  << "Frame4"
                                  << "修改" << QRect(4590, 3300, 975, 375);
    QTest::newRow("clear code button") << "Command2AC(15)"
                                       << "client"
                                       << "清零" << QRect(12000, 5490, 975, 375);
    QTest::newRow("hidden box") << "D_4WRW(21)"
                                << "client"
                                << "" << QRect(6240, 60, 1545, 285);
}

void tst_MainWindow::sampleAsDesigned() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QWidget* w = find(*window, name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(captionOf(w), caption);
    QCOMPARE(w->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
}

void tst_MainWindow::optionButtonsExcludeEachOther_data() {
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("expectedOpen");
    QTest::newRow("the last baud chosen wins")
        << QStringList{"Option1(1)", "Option1(2)"} << "OpenPort_Modbus(1,3,2)";
    QTest::newRow("back to the first baud")
        << QStringList{"Option1(2)", "Option1(0)"} << "OpenPort_Modbus(1,1,2)";
    QTest::newRow("a chosen option clicked again stays")
        << QStringList{"Option1(1)", "Option1(1)"} << "OpenPort_Modbus(1,2,2)";
    QTest::newRow("the last parity chosen wins")
        << QStringList{"Option2(0)", "Option2(1)"} << "OpenPort_Modbus(1,1,1)";
    QTest::newRow("the groups are independent")
        << QStringList{"Option1(2)", "Option2(0)"} << "OpenPort_Modbus(1,3,0)";
}

void tst_MainWindow::optionButtonsExcludeEachOther() {
    QFETCH(QStringList, clicks);
    QFETCH(QString, expectedOpen);
    for (const QString& name : clicks) {
        auto* option = find<QRadioButton>(*window, name);
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
    }
    for (const char* group : {"Option1", "Option2"}) {
        int chosen = 0;
        for (int i = 0; i < 3; ++i) {
            chosen += find<QRadioButton>(*window, memberName(group, i))->isChecked();
        }
        QCOMPARE(chosen, 1);
    }
    click(*window, "Command9");
    QCOMPARE(driver.calls, QStringList{expectedOpen});
}

void tst_MainWindow::placementKeepsTitleBarOnScreen_data() {
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("topLeft");
    const QSize panel(1045, 680);
    QTest::newRow("centred on a large screen")
        << panel << QRect(0, 0, 1920, 1040) << QPoint(437, 180);
    QTest::newRow("laptop at 125 %: top edge kept")
        << panel << QRect(0, 0, 1093, 574) << QPoint(24, 0);
    QTest::newRow("second screen under a top bar")
        << panel << QRect(1920, 27, 1366, 741) << QPoint(2080, 58);
    QTest::newRow("smaller both ways: top-left corner kept")
        << panel << QRect(0, 0, 800, 600) << QPoint(0, 0);
    QTest::newRow("offset screen smaller both ways")
        << panel << QRect(-1024, 30, 1024, 538) << QPoint(-1024, 30);
}

void tst_MainWindow::placementKeepsTitleBarOnScreen() {
    QFETCH(QSize, window);
    QFETCH(QRect, available);
    QFETCH(QPoint, topLeft);
    QCOMPARE(centredTopLeft(window, available), topLeft);
}

// A tool window no larger than the screen's free area less a title bar and
// borders; once placed, moved in whole, its title bar first.
void tst_MainWindow::toolWindowKeptOnScreen_data() {
    QTest::addColumn<QRect>("asked");  // on the test's 800 x 800 screen
    QTest::addColumn<bool>("placed");
    QTest::addColumn<QRect>("kept");
    QTest::newRow("too large, placed")
        << QRect(500, 400, 1000, 900) << true << QRect(0, 0, 784, 752);
    QTest::newRow("hanging off the bottom right")
        << QRect(700, 650, 300, 200) << true << QRect(484, 552, 300, 200);
    QTest::newRow("off the top left") << QRect(-50, -20, 300, 200) << true << QRect(0, 0, 300, 200);
    QTest::newRow("too large, where the desktop puts it")
        << QRect(500, 400, 1000, 900) << false << QRect(0, 0, 784, 752);
}

void tst_MainWindow::toolWindowKeptOnScreen() {
    QFETCH(QRect, asked);
    QFETCH(bool, placed);
    QFETCH(QRect, kept);
    QWidget tool;
    tool.resize(asked.size());
    if (placed) {
        tool.move(asked.topLeft());
    }
    keepOnScreen(&tool);
    QCOMPARE(QRect(tool.pos(), tool.size()), kept);
}

void tst_MainWindow::splashTitleBarIsEmpty() {
    frmSplash splash([] {});
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    QCOMPARE(splash.windowTitle(), QString());
    // An empty title would reach the desktop as the application's name.
    QCOMPARE(splash.windowHandle()->title(), " ");
}

void tst_MainWindow::findStartsWhereOpenWould_data() {
    QTest::addColumn<QString>("port");  // typed into the boxes before "查找模块"
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("opens");  // the search's first open and probe
    QTest::addColumn<int>("probes");
    QTest::newRow("leading numbers") << "3abc"
                                     << "12 "
                                     << "OpenPort_Modbus(3,3,0)" << 12;
    QTest::newRow("numbers that do not fit keep what 打开 used") << "99999999999"
                                                                 << "1e20"
                                                                 << "OpenPort_Modbus(2,3,0)" << 5;
}

void tst_MainWindow::findStartsWhereOpenWould() {
    QFETCH(QString, port);
    QFETCH(QString, address);
    QFETCH(QString, opens);
    QFETCH(int, probes);
    find<QRadioButton>(*window, "Option1(2)")->click();
    find<QRadioButton>(*window, "Option2(0)")->click();
    find<QComboBox>(*window, "Combo1")->setEditText("2 ");
    find<QComboBox>(*window, "Combo2")->setEditText("5 ");
    click(*window, "Command9");
    click(*window, "Command10");
    find<QComboBox>(*window, "Combo1")->setEditText(port);
    find<QComboBox>(*window, "Combo2")->setEditText(address);
    driver.calls.clear();
    click(*window, "FindModule");
    auto* dialog = window->findChild<finder::FindModuleDialog*>();
    QVERIFY(dialog);
    QList<int> asked;
    bool ended = false;
    connect(&dialog->search(), &finder::ModuleSearch::trying, this,
            [&](int, const finder::LineSetting&, int address) { asked << address; });
    connect(&dialog->search(), &finder::ModuleSearch::finished, this, [&] { ended = true; });
    click(*window, "FindStart");
    QTRY_VERIFY(!asked.isEmpty());
    click(*window, "FindStop");
    QTRY_VERIFY(ended);
    QCOMPARE(driver.calls.value(0), opens);
    QCOMPARE(asked.value(0), probes);
    dialog->close();
}

void tst_MainWindow::useFillsWhatOpenReads() {
    finder::Found found;
    found.port = 4;
    found.setting = {2, 1};
    found.address = 33;  // past the listed addresses: typed in
    click(*window, "FindModule");
    auto* dialog = window->findChild<finder::FindModuleDialog*>();
    QVERIFY(dialog);
    emit dialog->use(found);
    dialog->close();
    click(*window, "Command9");
    QCOMPARE(driver.calls.last(), "OpenPort_Modbus(4,2,1)");
    QCOMPARE(window->linkParam()[link_param::kAddress], 33);
    QCOMPARE(find<QComboBox>(*window, "Combo1")->currentText(), "4 ");
    QCOMPARE(find<QComboBox>(*window, "Combo1")->currentIndex(), 3);  // the listed item
}

// Closed with Esc, after Tab keys or none, the finder opens again every time.
void tst_MainWindow::finderOpensAgainAfterEsc() {
    for (int tabs : {0, 12, 0, 25}) {
        click(*window, "FindModule");
        auto* dialog = window->findChild<finder::FindModuleDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        for (int tab = 0; tab < tabs; ++tab) {
            QTest::keyClick(dialog, Qt::Key_Tab);
        }
        QTest::keyClick(dialog, Qt::Key_Escape);
        QTRY_VERIFY(!window->findChild<finder::FindModuleDialog*>());
    }
}

// Saved and opened in another window, the session is as it was; a file from
// a newer version changes nothing and says why.
void tst_MainWindow::workspaceComesBack() {
    find<QComboBox>(*window, "Combo1")->setEditText("3 ");
    find<QRadioButton>(*window, "Option1(2)")->click();
    click(*window, "AnyPoint");
    auto* rows = window->findChild<QWidget*>("AnyPointWindow");
    rows->findChild<QSpinBox*>("AnyPointFirst")->setValue(14);
    QTest::mouseClick(rows->findChild<QPushButton*>("AnyPointAdd"), Qt::LeftButton);
    click(*window, "TrafficWindow");
    click(*window, "TrendWindow");
    window->trendWindow()->setChosenQuantity(2);
    window->trendWindow()->resize(400, 300);  // moved within the screen, so kept where it is
    window->trendWindow()->move(window->trendWindow()->pos() + QPoint(40, 30));
    const QString path = QDir::temp().filePath("tst_mainwindow_workspace.json");
    QVERIFY(window->saveWorkspace(path));
    RecordingDriver otherDriver;
    ssqx other(otherDriver, [] {});
    other.show();
    const QByteArray fresh = anypoint::workspaceJson(other.workspace());
    QVERIFY(other.openWorkspace(path));
    // Each window where it was, the main window in front of them.
    QCOMPARE(anypoint::workspaceJson(other.workspace()),
             anypoint::workspaceJson(window->workspace()));
    QTRY_COMPARE(QApplication::activeWindow(), &other);
    QVERIFY(anypoint::workspaceJson(other.workspace()) != fresh);
    find<QComboBox>(*window, "Combo2")->setEditText("300 ");  // what would not open is not saved
    QVERIFY(!window->saveWorkspace(path));
    QCOMPARE(find<QLabel>(*window, "Notice")->text(), "工作区的 address 无效，未保存");

    QFile newer(path);
    QVERIFY(newer.open(QIODevice::WriteOnly) && newer.write(R"({"version": 2})") > 0);
    newer.close();
    ssqx third(otherDriver, [] {});
    QVERIFY(!third.openWorkspace(path));
    QCOMPARE(anypoint::workspaceJson(third.workspace()), fresh);
    QCOMPARE(find<QLabel>(third, "Notice")->text(), "工作区文件来自更新的版本（版本 2），未打开");
    QFile::remove(path);
}

// A row asking a slave that stops answering: the status line still speaks of
// the module, which answers every poll; the points keep their last values,
// greyed, and the value being typed.
void tst_MainWindow::rowFailuresStayInTheirRow() {
    driver.statusReply = Tq7310LinkStatus{};
    driver.onCall = [this](const QString& op) {
        const bool row = op.startsWith("read") || op.startsWith("write");
        driver.statusReply->outcome = row && driver.pointFailure ? TQ7310_TIMEOUT : TQ7310_OK;
        driver.statusReply->transactions += 1;
    };
    click(*window, "Command9");
    QMetaObject::invokeMethod(window->findChild<QTimer*>("Timer1"), "timeout");
    click(*window, "AnyPoint");
    auto* rows = window->findChild<QWidget*>("AnyPointWindow");
    rows->findChild<QComboBox*>("AnyPointTable")->setCurrentIndex(2);  // holding registers
    QTest::mouseClick(rows->findChild<QPushButton*>("AnyPointAdd"), Qt::LeftButton);
    auto* points = rows->findChild<QTableWidget*>("AnyPointPoints");
    QTRY_VERIFY(points->rowCount() > 0 && !points->item(0, 1)->text().isEmpty());
    QCOMPARE(points->currentColumn(), 1);  // typing lands on a value, not a point's number
    QTableWidgetItem* cell = points->item(0, 1);
    points->editItem(cell);
    auto* editor = points->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "7");
    driver.pointFailure = MODBUSRTU_FAILED;
    const auto reads = driver.callsOf("readRegisters").size();
    rows->findChild<QPushButton*>("AnyPointReadOnce")->click();
    QTRY_VERIFY(driver.callsOf("readRegisters").size() > reads);
    QCOMPARE(find<QLabel>(*window, "ModuleState")->text(), "模块应答正常");
    QVERIFY(points->item(0, 1) == cell);
    QCOMPARE(editor->text(), "7");
    QCOMPARE(cell->foreground().color(),
             points->palette().color(QPalette::Disabled, QPalette::Text));
    static const QRegularExpression old(R"(^读于 \d\d:\d\d:\d\d（读取失败：超时：无应答）$)");
    const QString said = rows->findChild<QTableWidget*>("AnyPointRows")->item(0, 6)->toolTip();
    QVERIFY2(old.match(said).hasMatch(), qPrintable(said));
}

// The first point typed as a device manual writes it chooses the table and
// the point, numbered as the window numbers them, and says so.
void tst_MainWindow::manualNotationTyped_data() {
    QTest::addColumn<int>("base");  // 编号's entry: 0 from 1, 1 from 0
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("first");
    QTest::addColumn<QString>("said");
    QTest::newRow("40001") << 0 << "40001"
                           << "保持寄存器 03" << 1 << "40001 = 保持寄存器 第 1 点";
    QTest::newRow("100010, from 0") << 1 << "100010"
                                    << "离散输入 02" << 9 << "100010 = 离散输入 第 9 点";
    QTest::newRow("a plain point") << 0 << "20001"
                                   << "线圈 01" << 20001 << "";
}

void tst_MainWindow::manualNotationTyped() {
    QFETCH(int, base);
    QFETCH(QString, typed);
    QFETCH(QString, table);
    QFETCH(int, first);
    QFETCH(QString, said);
    click(*window, "AnyPoint");
    auto* rows = window->findChild<QWidget*>("AnyPointWindow");
    rows->findChild<QComboBox*>("AnyPointTable")->setCurrentIndex(0);
    rows->findChild<QComboBox*>("AnyPointBase")->setCurrentIndex(base);
    auto* box = rows->findChild<QSpinBox*>("AnyPointFirst");
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, typed);
    QMetaObject::invokeMethod(box, "editingFinished");
    QCOMPARE(rows->findChild<QComboBox*>("AnyPointTable")->currentText(), table);
    QCOMPARE(box->value(), first);
    QCOMPARE(rows->findChild<QLabel*>("AnyPointManual")->text(), said);
}

void tst_MainWindow::everyNameAHandlerUsesExists() {
    LinkParamTable linkParam{};
    RecordingDriver fake;
    RecordingWindow names;
    PortControl(linkParam, fake, names).Command9_Click();
    StatusPoll(linkParam, fake, names).Timer1_Timer();
    CounterPoll(linkParam, fake, names).Timer2_Timer();
    ConfigWrite write(linkParam, fake, names);
    for (int index = 0; index <= 15; ++index) {
        write.Command2AC_Click(index);
    }
    PortControl(linkParam, fake, names).Command10_Click();
    QCOMPARE(names.reached.size(), 2 + 6 + 2 + 2 + 10 + 5 + 4 + 8 + 13 + 13);
    for (const QString& name : std::as_const(names.reached)) {
        QVERIFY2(window->control(name) || window->findChild<QTimer*>(name), qPrintable(name));
    }
}

void tst_MainWindow::eachTimerDrivesItsPoll_data() {
    QTest::addColumn<QString>("timer");
    QTest::addColumn<QStringList>("reads");
    QTest::newRow("Timer1: inputs and outputs")
        << "Timer1" << QStringList{"Get_1X_B16", "Get_0X_B16"};
    QTest::newRow("Timer2: counts and configuration")
        << "Timer2" << QStringList{"Get_3X_UnDX", "Get_3X_LUNDX", "Get_4X_UnDX"};
}

void tst_MainWindow::eachTimerDrivesItsPoll() {
    QFETCH(QString, timer);
    QFETCH(QStringList, reads);
    QStringList order;
    driver.onCall = [&](const QString& op) { order << op; };
    QMetaObject::invokeMethod(window->findChild<QTimer*>(timer), "timeout");
    QCOMPARE(order, reads);
}

void tst_MainWindow::closeDuringStatusTick_data() {
    QTest::addColumn<QString>("postedAfter");  // empty: before the first read
    QTest::addColumn<QString>("input");
    QTest::addColumn<QColor>("inputColour");
    QTest::addColumn<QString>("output");
    QTest::newRow("before the reads: both groups shown again")
        << ""
        << "输入X1闭合" << QColor(0, 255, 0) << "输出Y1闭合";
    QTest::newRow("between the reads: inputs stay blank")
        << "Get_1X_B16"
        << " " << QColor(192, 255, 255) << "输出Y1闭合";
}

void tst_MainWindow::closeDuringStatusTick() {
    QFETCH(QString, postedAfter);
    QFETCH(QString, input);
    QFETCH(QColor, inputColour);
    QFETCH(QString, output);
    driver.inputBytes[0] = 1;
    driver.coilBytes[0] = 1;
    click(*window, "Command9");
    if (postedAfter.isEmpty()) {
        post(*window, "Command10");
    }
    driver.onCall = [&](const QString& op) {
        if (op == postedAfter) {
            post(*window, "Command10");
        }
    };
    window->statusPoll().Timer1_Timer();
    QVERIFY(driver.calls.contains("ClosePort_Modbus(1)"));
    QCOMPARE(window->text("B_2R(0)"), input);
    QCOMPARE(find<QLabel>(*window, "B_2R(0)")->palette().color(QPalette::Window), inputColour);
    QCOMPARE(window->text("B_1RW(0)"), output);
    QCOMPARE(window->text("B_1RW(4)"), " ");  // Y5: blanked by the close, never shown
    QVERIFY(!window->findChild<QTimer*>("Timer1")->isActive());
}

void tst_MainWindow::searchWaitsForTheTickItInterrupted() {
    Tq7310Probe silent{};
    silent.outcome = TQ7310_TIMEOUT;
    driver.probeReply = silent;
    click(*window, "Command9");
    QStringList order;
    // The search's first probe waits until the status line has been read.
    QSemaphore statusRead;
    std::atomic<int> probes = 0;
    driver.onCall = [&](const QString& op) {
        order << op;
        if (op == "TQ7310_ProbeModule" && ++probes == 1) {
            statusRead.tryAcquire(1, 5000);
        }
        if (op == "Get_3X_UnDX") {
            post(*window, "FindModule");  // clicked during the tick's first yield
        } else if (op == "Get_3X_LUNDX") {
            post(*window, "FindStart");  // and "开始" at once
        }
    };
    window->counterPoll().Timer2_Timer();
    // Meanwhile the status line does not count the probes as the panel's.
    QTRY_VERIFY(find<QLabel>(*window, "LinkState")->text().contains("查找模块"));
    statusRead.release();
    // A few probes show whether polls come between them; the whole search's
    // length is the platform's timer grain times hundreds of probes.
    QTRY_VERIFY(probes >= 3);
    click(*window, "FindStop");
    auto* dialog = window->findChild<finder::FindModuleDialog*>();
    QTRY_VERIFY(!dialog->searching());
    const qsizetype firstProbe = order.indexOf("TQ7310_ProbeModule");
    QVERIFY(firstProbe > 0);
    QVERIFY(order.indexOf("ClosePort_Modbus") < firstProbe);
    QCOMPARE(order.mid(firstProbe).filter("Get_"), QStringList());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
