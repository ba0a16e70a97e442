#pragma once
// Takes every tick of the two polls as the window shows it, keeps the curves'
// history and writes the record. It reads the polls' buffers and nothing
// else, so neither the curves nor the record cost a transaction on the line.
// It lives as long as the main window, so a record goes on with the curves'
// window closed.

#include <QObject>
#include <functional>

#include "link/LinkParam.h"
#include "monitor/CounterPoll.h"
#include "monitor/StatusPoll.h"
#include "trend/History.h"
#include "trend/Record.h"

namespace trend {

class Feed : public QObject {
    Q_OBJECT
  public:
    using Clock = std::function<QDateTime()>;

    Feed(const LinkParamTable& linkParam, StatusPoll& statusPoll, CounterPoll& counterPoll,
         Clock clock = &QDateTime::currentDateTime);
    ~Feed() override;

    const History& history() const { return history_; }
    qint64 nowMs() const { return clock_().toMSecsSinceEpoch(); }

    // Starts a record in `path`; false when the file cannot be written, and
    // the status says why.
    bool startRecording(const QString& path);
    void stopRecording();
    bool recording() const { return record_.isOpen(); }
    // What the status lines say about the record: where it goes, or why it
    // stopped; empty before the first record.
    const QString& recordStatus() const { return recordStatus_; }

  signals:
    void counterTick();
    void statusTick();
    void recordStatusChanged(const QString& status);

  private:
    void onCounters(const CounterReads& reads);
    void onStates(const StatusReads& reads);
    void setRecordStatus(const QString& status);

    const LinkParamTable& linkParam_;
    StatusPoll& statusPoll_;
    CounterPoll& counterPoll_;
    Clock clock_;
    History history_;
    StateSample latestStates_;
    RecordFile record_;
    QString recordStatus_;
};

}  // namespace trend
