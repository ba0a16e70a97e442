#include "LinkStatusBar.h"

#include "ElidedLabel.h"

LinkStatusBar::LinkStatusBar(QWidget* parent)
    : QStatusBar(parent),
      // Every text elided to its room: a long record path never widens the window.
      link_(new ElidedLabel(QStringLiteral("端口未打开"), this)),
      module_(new ElidedLabel(QString(), this)),
      counters_(new ElidedLabel(QString(), this)),
      record_(new ElidedLabel(QString(), this)),
      findModule_(new QPushButton(QStringLiteral("查找模块"), this)),
      trend_(new QPushButton(QStringLiteral("曲线"), this)),
      traffic_(new QPushButton(QStringLiteral("通讯记录"), this)) {
    setObjectName(QStringLiteral("LinkStatusBar"));
    setSizeGripEnabled(false);
    link_->setObjectName(QStringLiteral("LinkState"));
    module_->setObjectName(QStringLiteral("ModuleState"));
    counters_->setObjectName(QStringLiteral("LinkCounters"));
    addWidget(link_, 3);
    addWidget(module_, 2);
    record_->setObjectName(QStringLiteral("RecordState"));
    trend_->setObjectName(QStringLiteral("TrendWindow"));
    trend_->setFocusPolicy(Qt::NoFocus);
    addWidget(record_, 2);
    record_->hide();
    addPermanentWidget(counters_);
    // The buttons take no Tab stop: the Tab key goes round the window's own
    // controls as it always has.
    findModule_->setObjectName(QStringLiteral("FindModule"));
    findModule_->setFocusPolicy(Qt::NoFocus);
    addPermanentWidget(findModule_);
    connect(findModule_, &QPushButton::clicked, this, &LinkStatusBar::findModuleClicked);
    addPermanentWidget(trend_);
    connect(trend_, &QPushButton::clicked, this, &LinkStatusBar::trendWindowClicked);
    traffic_->setObjectName(QStringLiteral("TrafficWindow"));
    traffic_->setFocusPolicy(Qt::NoFocus);
    addPermanentWidget(traffic_);
    connect(traffic_, &QPushButton::clicked, this, &LinkStatusBar::trafficWindowClicked);
}

void LinkStatusBar::showRecordStatus(const QString& status) {
    record_->setText(status);
    record_->setVisible(!status.isEmpty());
}

void LinkStatusBar::showStatus(const LinkStatusText& text) {
    link_->setText(text.link);
    module_->setText(text.module);
    counters_->setText(text.counters);
    // Red words for a module that does not answer properly; the text itself
    // says what went wrong, so colour is never the only sign.
    QPalette palette = module_->palette();
    palette.setColor(QPalette::WindowText, text.healthy || text.module.isEmpty()
                                               ? this->palette().color(QPalette::WindowText)
                                               : QColor(200, 0, 0));
    module_->setPalette(palette);
}
