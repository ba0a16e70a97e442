#pragma once
// Runs tq7310-sim for a test: starts it, waits for its ready lines (the
// line's, and one for each network service asked for), talks to it on
// standard input, watches its output and stops it by its own handle.

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

class SimProcess {
  public:
    static constexpr int kStartMs = 5000;

    ~SimProcess() { stop(); }

    // Starts the simulator; true once it said it is serving everywhere.
    bool start(const QStringList& args) {
        process_.setProgram(QStringLiteral(TQ7310_SIM_PATH));
        process_.setArguments(args);
        process_.start();
        if (!process_.waitForStarted(kStartMs)) {
            return false;
        }
        static const QRegularExpression ready(
            QStringLiteral("^tq7310-sim: serving address \\d+ at \\d+,[NOE],8,1 on (\\S+)$"));
        const qsizetype services =
            args.count(QStringLiteral("--tcp")) + args.count(QStringLiteral("--rtu-tcp"));
        targets_.clear();
        for (QString line; targets_.size() <= services;) {
            if (!waitForLine(ready, kStartMs, &line)) {
                return false;
            }
            targets_ << ready.match(line).captured(1);
        }
        device_ = targets_.front();
        return true;
    }

    // The line's device.
    const QString& device() const { return device_; }
    // The network service's target starting with `prefix` ("tcp:",
    // "rtu-tcp:"), as the panel takes it; empty if none was asked for.
    QString target(QStringView prefix) const {
        for (const QString& t : targets_) {
            if (t.startsWith(prefix)) {
                return t;
            }
        }
        return {};
    }
    QProcess& process() { return process_; }

    void send(const QByteArray& line) { process_.write(line + '\n'); }

    // Waits for the next output line matching `pattern`, skipping others.
    bool waitForLine(const QRegularExpression& pattern, int ms, QString* found = nullptr) {
        const QDeadlineTimer deadline(ms);
        for (;;) {
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                seen_ << line;
                if (pattern.match(line).hasMatch()) {
                    if (found != nullptr) {
                        *found = line;
                    }
                    return true;
                }
            }
            if (deadline.hasExpired() || process_.state() != QProcess::Running) {
                return false;
            }
            process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }

    // Sends a control command and waits for its acknowledgement.
    bool command(const QByteArray& line, int ms = kStartMs) {
        send(line);
        return waitForLine(QRegularExpression(QStringLiteral("^ok: ")), ms);
    }

    // Every line read so far, for failure messages.
    QString transcript() const { return seen_.join('\n'); }

    // Asks the simulator to stop as a service manager would; true when it
    // exited cleanly.
    bool stop() {
        if (process_.state() == QProcess::NotRunning) {
            return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
        }
        process_.terminate();
        if (!process_.waitForFinished(kStartMs)) {
            process_.kill();
            process_.waitForFinished(kStartMs);
            return false;
        }
        return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }

  private:
    QProcess process_;
    QString device_;
    QStringList targets_;
    QStringList seen_;
};
