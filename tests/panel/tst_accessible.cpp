// Every control of the main window and of the windows it opens that a screen
// reader can reach has a name of its own: not empty, not a bare number, not
// another control's. Hidden controls stay out of its way, option buttons
// read as such, and a value box's text is what it shows.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

#include "Announcement.h"
#include "Layout.h"
#include "RecordingDriver.h"
#include "ssqx.h"

namespace {

bool reachable(QAccessible::Role role) {
    return role == QAccessible::PushButton || role == QAccessible::ComboBox ||
           role == QAccessible::EditableText || role == QAccessible::RadioButton ||
           role == QAccessible::CheckBox || role == QAccessible::Table ||
           role == QAccessible::List || role == QAccessible::ProgressBar ||
           role == QAccessible::SpinBox;
}

// The names of the shown controls under `iface`, with who bears each.
void collectNames(QAccessibleInterface* iface, QMultiHash<QString, QString>& names) {
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        QVERIFY2(child && iface->indexOfChild(child) == i,
                 qPrintable(iface->text(QAccessible::Name)));
        if (child->state().invisible) {
            continue;
        }
        QObject* object = child->object();
        if (qobject_cast<QRadioButton*>(object)) {
            QCOMPARE(child->role(), QAccessible::RadioButton);
        }
        if (reachable(child->role()) || object->inherits("QChartView")) {
            names.insert(child->text(QAccessible::Name).trimmed(), object->objectName());
        }
        // A drop-down list's own edit line and list, a table's cells.
        if (child->role() != QAccessible::ComboBox && child->role() != QAccessible::Table &&
            child->role() != QAccessible::List) {
            collectNames(child, names);
        }
    }
}

}  // namespace

class tst_Accessible : public QObject {
    Q_OBJECT
  private slots:
    void everyShownControlHasItsOwnName_data();
    void everyShownControlHasItsOwnName();
    void listOpensByItsAction();
    void announcementIsAnAlertShown();
};

void tst_Accessible::everyShownControlHasItsOwnName_data() {
    QTest::addColumn<QString>("opener");  // the status strip's button, none for the main window
    QTest::addColumn<QString>("opened");  // the window's objectName
    QTest::addColumn<int>("atLeast");     // named controls
    QTest::newRow("main window") << ""
                                 << "ssqx" << 50;
    QTest::newRow("查找模块") << "FindModule"
                              << "FindModuleDialog" << 20;
    QTest::newRow("曲线") << "TrendWindow"
                          << "TrendView" << 8;
    QTest::newRow("通讯记录") << "TrafficWindow"
                              << "TrafficLog" << 7;
    QTest::newRow("读写任意点") << "AnyPoint"
                                << "AnyPointWindow" << 11;
}

void tst_Accessible::everyShownControlHasItsOwnName() {
    QFETCH(QString, opener);
    QFETCH(QString, opened);
    QFETCH(int, atLeast);
    RecordingDriver driver;
    ssqx window(driver, [] {});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (!opener.isEmpty()) {
        window.findChild<QAbstractButton*>(opener)->click();
    }
    QWidget* shown = opened == window.objectName() ? &window : window.findChild<QWidget*>(opened);
    QVERIFY(shown && QTest::qWaitForWindowExposed(shown));

    QMultiHash<QString, QString> names;
    collectNames(QAccessible::queryAccessibleInterface(shown), names);
    QVERIFY2(names.size() >= atLeast, qPrintable(QStringList(names.keys()).join(' ')));
    static const QRegularExpression bareNumber(R"(^[\d.:\-]*$)");
    QStringList faults;
    for (const QString& name : names.uniqueKeys()) {
        if (bareNumber.match(name).hasMatch() || names.count(name) > 1) {
            faults << QStringLiteral("\"%1\" (%2)").arg(name, names.values(name).join(' '));
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));

    for (const ControlSpec& spec : mainWindowLayout()) {
        auto* iface = QAccessible::queryAccessibleInterface(window.control(spec.name));
        if (spec.hidden) {
            QVERIFY2(iface && iface->state().invisible, qPrintable(spec.name));
        } else if (spec.kind == ControlKind::ValueBox) {
            // Qt's bridges read a label's words through its text interface only.
            window.setCaption(spec.name, QStringLiteral("-8888"));
            QAccessibleTextInterface* text = iface->textInterface();
            QVERIFY2(text && text->text(0, text->characterCount()) == "-8888",
                     qPrintable(spec.name));
        }
    }
}

void tst_Accessible::listOpensByItsAction() {
    RecordingDriver driver;
    ssqx window(driver, [] {});
    window.show();
    auto* list = qobject_cast<QComboBox*>(window.control("Combo1"));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list);
    QCOMPARE(iface->text(QAccessible::Name), "通讯端口");
    QCOMPARE(iface->text(QAccessible::Value), "1 ");
    for (const QString& action : iface->actionInterface()->actionNames().mid(0, 2)) {
        iface->actionInterface()->doAction(action);
        QTRY_VERIFY2(list->view()->isVisible(), qPrintable(action));
        list->hidePopup();
    }
}

// Every announcement, the same words again too, is an alert coming into
// sight, which the bridge forwards as one.
void tst_Accessible::announcementIsAnAlertShown() {
    struct AlertsShown : QObject {
        QStringList words;
        bool eventFilter(QObject* watched, QEvent* event) override {
            QAccessibleInterface* iface = watched->isWidgetType() && event->type() == QEvent::Show
                                              ? QAccessible::queryAccessibleInterface(watched)
                                              : nullptr;
            if (iface && iface->role() == QAccessible::AlertMessage) {
                words << iface->text(QAccessible::Name);
            }
            return false;
        }
    } alerts;
    qApp->installEventFilter(&alerts);
    QWidget window;
    window.show();
    announce(&window, "通讯故障");
    announce(&window, "通讯故障");
    QCOMPARE(alerts.words, QStringList({"通讯故障", "通讯故障"}));
    QCOMPARE(lastAnnouncement(&window), "通讯故障");
}

QTEST_MAIN(tst_Accessible)
#include "tst_accessible.moc"
