#pragma once
// The search itself: one probe per turn of the event loop, so the window
// stays live and "停止" is seen before the next probe goes out.
//
// A device slower than the fast probe's wait answers during a later probe:
// bytes waiting before it, a frame from an address asked before, or bytes
// that make no frame. Any such sign of life after silent probes asks those
// addresses again, patiently, before anything is concluded; the probe that
// saw it is then asked again too. After every probe that drew a reply the
// line is left silent for a frame gap and a margin.
//
// Each port is planned when the search starts, from where its TQ7310_COM<n>
// points then (see PortPlan): a serial line at every chosen setting, a
// Modbus TCP server unit by unit, a serial server at the window's setting.

#include <QElapsedTimer>
#include <QObject>
#include <atomic>
#include <deque>
#include <map>
#include <optional>
#include <set>
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
    // The unit ids a Modbus TCP server is asked.
    int firstUnit = module_line::kFirstAddress;
    int lastUnit = module_line::kLastAddress;
    // Where a link answered last time, tried right after the window's own
    // setting; 0 for none.
    int rememberedPort = 0;
    LineSetting remembered{};
    int rememberedAddress = 0;
};

struct Found {
    int port = 0;
    QString device;
    LineSetting setting;
    int address = 0;      // 0 for a setting that gave only bytes without a frame
    int lastAddress = 0;  // a run of alike exception replies: its last address, else 0
    Answer::Kind kind = Answer::Module;
    Answer answer;
    module_line::TargetKind over = module_line::TargetKind::Serial;  // where the port pointed
};

// The quiet owed to the line after a reply: a frame gap, and a margin for a
// slave that times the quiet coarsely (the simulator waits 20 ms of it
// before it listens again after another slave's exchange).
inline constexpr std::int64_t kQuietMarginUs = 25'000;
std::int64_t quietAfterReplyUs(const LineSetting& setting);

class ModuleSearch : public QObject {
    Q_OBJECT
  public:
    explicit ModuleSearch(Prober& prober, QObject* parent = nullptr);

    void start(const Scope& scope);
    // Ends the search now, with the port closed; no probe is under way
    // whenever the event loop runs, so none is cut short.
    void stop();
    // Safe to ask from any thread.
    bool running() const { return running_; }

  signals:
    // A port's search begins: `how` says what it asks; `byUnit`, that it asks
    // a Modbus TCP server unit ids at no line setting.
    void searching(int port, bool byUnit, const QString& how);
    void trying(int port, const finder::LineSetting& setting, int address);
    void progress(int done, int total, qint64 msLeft);
    void found(const finder::Found& found);
    // A row already found grew: a run of alike exception replies went on.
    void grown(const finder::Found& found);
    void note(const QString& text);
    void finished(bool stopped);

  private:
    // Forgets what the search learnt of the port it leaves.
    void startPort();

    struct Silence {
        int address;
        qint64 atMs;
    };

    PortPlan planFor(int port);
    // Says how the port now begun is searched, or why it is not.
    void beginPort();
    void step();
    void schedule(std::int64_t afterUs = 0);
    void endPort();
    void finish(bool stopped);
    // What to do with an answer to the plan's own attempt.
    void planned(int port, const Attempt& attempt, const Answer& answer);
    void report(int port, const LineSetting& setting, int address, const Answer& answer);
    // A row of points or a refusal: it starts a run or carries one on.
    void extendRun(const Found& row);
    // Shows what the setting's run held back; its next answer starts afresh.
    void endRun(const LineSetting& setting);
    void endRuns();
    bool onceFor(const LineSetting& setting, int key);
    // Before the port leaves a setting: the last silent address once more,
    // patiently, so a slow device's late reply has a probe to arrive in.
    bool lookBackDue() const;

    Prober& prober_;
    Scope scope_;
    std::vector<PortPlan> plans_;  // one for each of the scope's ports
    std::vector<Attempt> plan_;    // the current port's attempts
    std::size_t portIndex_ = 0;
    std::size_t attemptIndex_ = 0;
    std::optional<LineSetting> openAt_;
    std::set<std::pair<int, int>> noted_;  // (setting, kind or address) told once per port
    std::deque<Silence> silent_;           // recent silent addresses at the open setting
    std::deque<int> confirm_;              // addresses to ask again patiently
    std::optional<int> retry_;             // the address whose probe saw the sign of life
    std::optional<int> spoiltAt_;          // asked again after a reply spoilt on the line
    bool lookedBack_ = false;              // the open setting's last silent address asked again

    // Alike answers to probe after probe at one setting: a gateway's
    // refusals, or a device that does not look at the address. The first row
    // is shown at once; the next are held back until the run is long enough
    // to be one device (refusals: two; points: kAddressBlindRun).
    struct Run {
        Found row;
        std::vector<Found> held;
    };
    std::map<int, Run> runs_;      // by setting
    bool previousSilent_ = false;  // the last attempt at the open setting was silent
    std::atomic<bool> running_ = false;
    int done_ = 0;
    int total_ = 0;
    int probes_ = 0;
    QElapsedTimer clock_;
};

// Modules side by side at fresh settings read back alike, so only this many
// alike answers in a row are taken for one device answering every address.
inline constexpr std::size_t kAddressBlindRun = 4;

// The note for a device that would not open, in the technician's words.
QString openFailureNote(int port, const QString& device, int systemError);

}  // namespace finder
