#pragma once
// "自检": checks the module on the panel's open link with check/core's
// engine, which runs on a thread of its own so that the window stays live
// through the engine's waits. The driver serves one thread at a time: the
// run starts only once the main window's polls are out of their ticks, and
// runningChanged tells the main window to keep them stopped until it ends.

#include <QThread>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "CheckReport.h"
#include "ModuleCheck.h"
#include "ReportText.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

class ModuleCheckWindow : public QWidget {
    Q_OBJECT
  public:
    // The open link (port, line, address); nothing while the port is closed.
    using OpenLink = std::function<std::optional<ReportHeader>()>;
    // A poll of the main window is in the middle of a tick.
    using LineBusy = std::function<bool()>;

    ModuleCheckWindow(ModuleDriver& driver, OpenLink openLink, LineBusy lineBusy,
                      QWidget* parent = nullptr);
    ~ModuleCheckWindow() override;

    bool running() const { return thread_ != nullptr; }
    // The last run's report as tq7310-check prints it; empty before the first.
    QString report() const;

  signals:
    void runningChanged(bool running);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void confirm();
    // Starts once the polls are out of their ticks, on the link then open.
    void startWhenLineFree();
    void showStarted(const QString& step);
    void showDone(const StepResult& step);
    void finish();
    int rowOf(const QString& step);
    void copy();
    void save();

    ModuleDriver& driver_;
    OpenLink openLink_;
    LineBusy lineBusy_;
    QCheckBox* keepCounts_;
    QCheckBox* inputs_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* copy_;
    QPushButton* save_;
    QLabel* state_;
    QProgressBar* progress_;
    QTableWidget* steps_;
    QPlainTextEdit* detail_;
    ReportHeader header_;
    std::optional<CheckReport> report_;
    std::unique_ptr<ModuleCheck> check_;
    QThread* thread_ = nullptr;
};
