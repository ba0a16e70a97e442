#include "SearchThread.h"

namespace finder {

SearchThread::SearchThread(Prober& prober) : search_(new ModuleSearch(prober)) {
    thread_.setObjectName(QStringLiteral("module search"));
    search_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, search_, &QObject::deleteLater);
    thread_.start();
}

SearchThread::~SearchThread() {
    stopAndWait();
    thread_.quit();
    thread_.wait();
}

void SearchThread::start(const Scope& scope) {
    // The thread is idle between searches, so this waits for no probe.
    QMetaObject::invokeMethod(
        search_, [this, scope] { search_->start(scope); }, Qt::BlockingQueuedConnection);
}

void SearchThread::stop() {
    QMetaObject::invokeMethod(
        search_, [this] { search_->stop(); }, Qt::QueuedConnection);
}

void SearchThread::stopAndWait() {
    QMetaObject::invokeMethod(
        search_, [this] { search_->stop(); }, Qt::BlockingQueuedConnection);
}

}  // namespace finder
