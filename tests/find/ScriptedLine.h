#pragma once
// A Prober whose ports hold what a test puts on them, and which keeps the
// order of everything asked of it.

#include <QStringList>
#include <map>

#include "Prober.h"

namespace finder {

struct ScriptedPort {
    int openError = 0;   // errno of an open that fails, 0 for one that works
    int goneAfter = -1;  // probes answered before the device goes away; -1 never
    // What answers at "19200,E@7"; unlisted attempts stay silent.
    std::map<QString, Answer::Kind> answers;
    // Whole answers, the first time "19200,E@7" is asked fast; before `answers`.
    std::map<QString, Answer> replies;
    // What a patient second look at "19200,E@7" finds; unlisted: silent.
    std::map<QString, Answer::Kind> patient;
    QString target;  // as its TQ7310_COM<n>; empty: a serial device
};

class ScriptedLine : public Prober {
  public:
    std::map<int, ScriptedPort> ports;
    // "open 1 9600,E", "probe 1 9600,E@3", "patient 1 9600,E@3", "close 1"
    QStringList calls;

    QString device(int port) override { return QStringLiteral("/dev/scripted%1").arg(port); }
    std::optional<module_line::PortTarget> target(int port) override {
        return module_line::parsePortTarget(ports[port].target.toStdString());
    }
    OpenResult open(int port, const LineSetting& setting) override {
        calls << QStringLiteral("open %1 %2").arg(port).arg(setting.text());
        const int error = ports[port].openError;
        return {error == 0, error};
    }
    Answer probe(int port, int address, const LineSetting& setting, Wait wait) override {
        const QString at = QStringLiteral("%1@%2").arg(setting.text()).arg(address);
        const bool patient = wait == Wait::Patient;
        calls << QStringLiteral("%1 %2 %3").arg(patient ? "patient" : "probe").arg(port).arg(at);
        ScriptedPort& p = ports[port];
        Answer answer;
        if (p.goneAfter == 0) {
            answer.kind = Answer::PortGone;
            return answer;
        }
        p.goneAfter -= p.goneAfter > 0 ? 1 : 0;
        if (const auto whole = p.replies.find(at); !patient && whole != p.replies.end()) {
            answer = whole->second;
            p.replies.erase(whole);
            return answer;
        }
        const auto& table = patient ? p.patient : p.answers;
        const auto it = table.find(at);
        answer.kind = it == table.end() ? Answer::Silent : it->second;
        return answer;
    }
    void close(int port) override { calls << QStringLiteral("close %1").arg(port); }

    QStringList probes() const { return calls.filter(QStringLiteral("probe ")); }
};

}  // namespace finder
