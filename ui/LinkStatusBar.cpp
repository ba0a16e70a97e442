#include "LinkStatusBar.h"

#include <QShortcut>
#include <QTimer>

#include "ElidedLabel.h"

namespace {

// What follows the first `mark`; empty when there is none.
QString afterFirst(const QString& text, char16_t mark) {
    const qsizetype at = text.indexOf(QChar(mark));
    return at < 0 ? QString() : text.mid(at + 1);
}

}  // namespace

LinkStatusBar::LinkStatusBar(QWidget* parent)
    : QStatusBar(parent),
      // Every text elided to its room: a long record path never widens the window.
      link_(new ElidedLabel(QStringLiteral("端口未打开"), this)),
      module_(new ElidedLabel(QString(), this)),
      counters_(new ElidedLabel(QString(), this)),
      record_(new ElidedLabel(QString(), this)),
      notice_(new ElidedLabel(QString(), this)),
      noticeTimer_(new QTimer(this)),
      findModule_(new QPushButton(QStringLiteral("查找模块"), this)),
      trend_(new QPushButton(QStringLiteral("曲线"), this)),
      traffic_(new QPushButton(QStringLiteral("通讯记录"), this)),
      anyPoint_(new QPushButton(QStringLiteral("读写任意点"), this)),
      moduleCheck_(new QPushButton(QStringLiteral("自检"), this)) {
    setObjectName(QStringLiteral("LinkStatusBar"));
    setSizeGripEnabled(false);
    link_->setObjectName(QStringLiteral("LinkState"));
    // Of the link only the device's path may be cut: "9600" cut to "600"
    // would read as another baud rate.
    link_->setElidedPart(QString());
    module_->setObjectName(QStringLiteral("ModuleState"));
    counters_->setObjectName(QStringLiteral("LinkCounters"));
    addWidget(link_, 3);
    addWidget(module_, 2);
    record_->setObjectName(QStringLiteral("RecordState"));
    addWidget(record_, 2);
    record_->hide();
    notice_->setObjectName(QStringLiteral("Notice"));
    addWidget(notice_, 3);
    notice_->hide();
    noticeTimer_->setSingleShot(true);
    connect(noticeTimer_, &QTimer::timeout, this, &LinkStatusBar::clearNotice);
    addPermanentWidget(counters_);
    // The buttons are Tab stops after the window's own controls (the window
    // puts them there) and have shortcuts; a click leaves the focus where it
    // was.
    const struct {
        QPushButton* button;
        const char* name;
        QKeyCombination key;
        void (LinkStatusBar::*clicked)();
    } buttons[] = {
        {findModule_, "FindModule", Qt::CTRL | Qt::Key_F, &LinkStatusBar::findModuleClicked},
        {trend_, "TrendWindow", Qt::CTRL | Qt::Key_G, &LinkStatusBar::trendWindowClicked},
        {traffic_, "TrafficWindow", Qt::CTRL | Qt::Key_L, &LinkStatusBar::trafficWindowClicked},
        {anyPoint_, "AnyPoint", Qt::CTRL | Qt::Key_R, &LinkStatusBar::anyPointWindowClicked},
        {moduleCheck_, "ModuleCheck", Qt::CTRL | Qt::Key_K, &LinkStatusBar::moduleCheckClicked},
    };
    for (const auto& b : buttons) {
        b.button->setObjectName(QString::fromLatin1(b.name));
        b.button->setFocusPolicy(Qt::TabFocus);
        // From every window of the panel, not only this one: the tool
        // windows lead to each other. A modal dialog still holds them back.
        auto* shortcut = new QShortcut(QKeySequence(b.key), b.button, b.button,
                                       &QAbstractButton::click, Qt::ApplicationShortcut);
        b.button->setToolTip(QStringLiteral("%1 (%2)").arg(
            b.button->text(), shortcut->key().toString(QKeySequence::NativeText)));
        addPermanentWidget(b.button);
        connect(b.button, &QPushButton::clicked, this, b.clicked);
    }
}

QList<QPushButton*> LinkStatusBar::buttons() const {
    return {findModule_, trend_, traffic_, anyPoint_, moduleCheck_};
}

void LinkStatusBar::showNotice(const QString& notice, const QString& path) {
    // Long enough to read a path, short enough not to be taken for the state.
    constexpr int kNoticeMs = 8000;
    notice_->setText(notice);
    notice_->setElidedPart(path.isEmpty() ? afterFirst(notice, u'，') : path);
    notice_->setVisible(!notice.isEmpty());
    noticeTimer_->start(kNoticeMs);
}

void LinkStatusBar::clearNotice() {
    noticeTimer_->stop();
    notice_->clear();
    notice_->hide();
}

void LinkStatusBar::showCountersDetail(const QString& detail) {
    counters_->setDetail(detail);
}

void LinkStatusBar::showRecordStatus(const QString& status) {
    record_->setText(status);
    record_->setVisible(!status.isEmpty());
}

void LinkStatusBar::showStatus(const LinkStatusText& text) {
    link_->setText(text.link);
    link_->setElidedPart(text.device);
    module_->setText(text.module);
    // How the module answered is read whole, "模…常" says nothing; only the
    // detail after "：" (a bad frame's bytes) gives way.
    module_->setElidedPart(afterFirst(text.module, u'：'));
    counters_->setText(text.counters);
    // Red words for a module that does not answer properly; the text itself
    // says what went wrong, so colour is never the only sign.
    QPalette palette = module_->palette();
    palette.setColor(QPalette::WindowText, text.healthy || text.module.isEmpty()
                                               ? this->palette().color(QPalette::WindowText)
                                               : QColor(200, 0, 0));
    module_->setPalette(palette);
}
