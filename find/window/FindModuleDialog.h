#pragma once
// "查找模块": searches ports, line settings and addresses for the module,
// with progress and a way out, and hands what it found to the main window.

#include <QDialog>
#include <functional>
#include <set>
#include <vector>

#include "DriverProber.h"
#include "FoundText.h"
#include "ModuleSearch.h"
#include "SearchThread.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace finder {

// Where the main window stands when the dialog opens.
struct WindowSetting {
    int port = 1;
    LineSetting setting;
    int address = 1;
};

class FindModuleDialog : public QDialog {
    Q_OBJECT
  public:
    // Whether something else still uses the line (a poll's tick under way).
    using LineBusy = std::function<bool()>;

    // `linkWasClosed`: the window closed its open link before this opened.
    // The search starts only once `lineBusy` says the line is quiet.
    FindModuleDialog(ModuleDriver& driver, const WindowSetting& window, bool linkWasClosed,
                     QWidget* parent = nullptr, LineBusy lineBusy = {});

    // Runs on a thread of its own: connect to its signals, call nothing.
    ModuleSearch& search() { return search_.search(); }
    // The search holds the port, or waits for the line to start.
    bool searching() const;
    DriverProber& prober() { return prober_; }

    // The search as shown: what was tried, when, how it ended, its rows.
    QString recordText() const;
    bool saveTo(const QString& path);

  signals:
    void use(const finder::Found& found);

  protected:
    void done(int result) override;

  private:
    void begin();
    // Starts the search once the line is quiet.
    void startWhenQuiet(const Scope& scope);
    void showFound(const Found& found);
    void showGrown(const Found& found);
    void fillRow(int row);
    void showProgress(int done, int total, qint64 msLeft);
    void ended(bool stopped);
    std::vector<int> portsToSearch();
    void save();

    DriverProber prober_;
    SearchThread search_;  // after the prober, which it uses until it ends
    WindowSetting window_;
    LineBusy lineBusy_;
    QTimer* waitForQuiet_;
    Scope pending_;
    SearchRecord searched_;  // what the last search tried, and when
    std::vector<Found> rows_;
    QRadioButton* onePort_;
    QRadioButton* allPorts_;
    std::vector<std::pair<QCheckBox*, LineSetting>> settings_;
    QSpinBox* firstUnit_;
    QSpinBox* lastUnit_;
    QLabel* plan_;             // how the port under search is searched
    std::set<int> unitPorts_;  // ports searched by unit id, without a line setting
    QProgressBar* progress_;
    QLabel* trying_;
    QLabel* timeLeft_;
    QTableWidget* results_;
    QListWidget* notes_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* use_;
    QPushButton* close_;
    QPushButton* copy_;
    QPushButton* save_;
    QLabel* saveResult_;
};

}  // namespace finder
