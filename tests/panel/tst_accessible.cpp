// Every control of the main window that a screen reader can reach and act on
// has a name of its own: not empty, not a bare number, not another control's.
// Hidden controls stay out of its way, and option buttons read as such.

#include <QAccessible>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

#include "Layout.h"
#include "RecordingDriver.h"
#include "ssqx.h"

namespace {

bool actsOnClickOrKeys(QAccessible::Role role) {
    return role == QAccessible::PushButton || role == QAccessible::ComboBox ||
           role == QAccessible::EditableText || role == QAccessible::RadioButton ||
           role == QAccessible::CheckBox;
}

// Qt on Linux names a drop-down list by its current item and tells its
// label as a relation.
QString heardName(QAccessibleInterface* iface) {
#ifdef Q_OS_UNIX
    if (iface->role() == QAccessible::ComboBox) {
        const auto labels = iface->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
#endif
    return iface->text(QAccessible::Name);
}

// The names of the shown controls under `iface`, with who bears each.
void collectNames(QAccessibleInterface* iface, QMultiHash<QString, QString>& names) {
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        if (!child || child->state().invisible) {
            continue;
        }
        QObject* object = child->object();
        if (qobject_cast<QRadioButton*>(object)) {
            QCOMPARE(child->role(), QAccessible::RadioButton);
        }
        if (actsOnClickOrKeys(child->role())) {
            names.insert(heardName(child).trimmed(), object->objectName());
        }
        if (child->role() != QAccessible::ComboBox) {  // its own edit line and list
            collectNames(child, names);
        }
    }
}

}  // namespace

class tst_Accessible : public QObject {
    Q_OBJECT
  private slots:
    void everyShownControlHasItsOwnName();
};

void tst_Accessible::everyShownControlHasItsOwnName() {
    RecordingDriver driver;
    ssqx window(driver, [] {});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QMultiHash<QString, QString> names;
    collectNames(QAccessible::queryAccessibleInterface(&window), names);
    QVERIFY(names.size() > 50);
    static const QRegularExpression bareNumber(R"(^[\d.:\-]*$)");
    QStringList faults;
    for (const QString& name : names.uniqueKeys()) {
        if (bareNumber.match(name).hasMatch() || names.count(name) > 1) {
            faults << QStringLiteral("\"%1\" (%2)").arg(name, names.values(name).join(' '));
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));

    for (const ControlSpec& spec : mainWindowLayout()) {
        if (spec.hidden) {
            auto* iface = QAccessible::queryAccessibleInterface(window.control(spec.name));
            QVERIFY2(iface && iface->state().invisible, qPrintable(spec.name));
        }
    }
}

QTEST_MAIN(tst_Accessible)
#include "tst_accessible.moc"
