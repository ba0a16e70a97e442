#pragma once
// The search itself: one probe per turn of the event loop, so the window
// stays live and "停止" is seen before the next probe goes out.

#include <QElapsedTimer>
#include <QObject>
#include <optional>
#include <vector>

#include "Prober.h"
#include "SearchPlan.h"

namespace finder {

struct Scope {
    std::vector<int> ports;
    std::vector<LineSetting> settings;
    LineSetting current;
    int currentAddress = 1;
    int lastAddress = module_line::kLastAddress;
};

struct Found {
    int port = 0;
    QString device;
    LineSetting setting;
    int address = 0;  // 0 for a setting that gave only garbled bytes
    Answer::Kind kind = Answer::Module;
    Answer answer;
};

class ModuleSearch : public QObject {
    Q_OBJECT
  public:
    explicit ModuleSearch(Prober& prober, QObject* parent = nullptr);

    void start(const Scope& scope);
    // Ends the search now, with the port closed; no probe is under way
    // whenever the event loop runs, so none is cut short.
    void stop();
    bool running() const { return running_; }

  signals:
    void trying(int port, const finder::LineSetting& setting, int address);
    void progress(int done, int total, qint64 msLeft);
    void found(const finder::Found& found);
    void note(const QString& text);
    void finished(bool stopped);

  private:
    void step();
    void schedule();
    void endPort();
    void finish(bool stopped);

    Prober& prober_;
    Scope scope_;
    std::vector<Attempt> plan_;
    std::size_t portIndex_ = 0;
    std::size_t attemptIndex_ = 0;
    std::optional<LineSetting> openAt_;
    std::vector<LineSetting> garbledNoted_;
    bool running_ = false;
    int done_ = 0;
    int total_ = 0;
    int probes_ = 0;
    QElapsedTimer clock_;
};

// The note for a device that would not open, in the technician's words.
QString openFailureNote(int port, const QString& device, int systemError);

}  // namespace finder
