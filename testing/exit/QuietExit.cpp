// Qt's painting scales large pixmaps on the global thread pool, whose threads
// live on, idle, until the process ends. They would be stopped while the
// libraries are unloaded, just before LeakSanitizer's check at exit, and one
// still tearing down has not yet freed its thread data: a leak that is not
// one. So a test ends, while its application object still exists, with the
// pool emptied and its threads gone from the system.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QThreadPool>

namespace {

// The name Qt gives the pool's threads; a thread keeps it until it has run
// its last destructor.
bool poolThreadsLeft() {
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "Thread (pooled)") {
            return true;
        }
    }
    return false;
}

void emptyThreadPool() {
    QThreadPool::globalInstance()->waitForDone();
    // A detached thread's end sends no signal: ask, for a bounded time.
    const QDeadlineTimer deadline(10000);
    while (poolThreadsLeft() && !deadline.hasExpired()) {
        QThread::msleep(1);
    }
}

void atStart() {
    qAddPostRoutine(emptyThreadPool);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(atStart)
