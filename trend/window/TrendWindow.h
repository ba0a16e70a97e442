#pragma once
// The curves' window: the frequencies or counts of X1..X4, one quantity at a
// time, with the "读写任意点" points charted, over the states of the inputs
// and outputs as step traces, both on the same span of time; pausing, a
// picture of the charts, and the record.
// It draws from the feed's history only while it is shown and not paused.

#include <QMainWindow>
#include <functional>
#include <optional>

#include "Feed.h"

class QAbstractAxis;
class QAreaSeries;
class QChart;
class QChartView;
class QComboBox;

class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;
class QCategoryAxis;

namespace trend {

class TrendWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Given the suggested path, the path chosen, or empty when given up.
    using PathChooser = std::function<QString(const QString& suggested)>;

    explicit TrendWindow(Feed& feed, QWidget* parent = nullptr);
    ~TrendWindow() override;

    void setRecordPathChooser(PathChooser chooser) { chooseRecordPath_ = std::move(chooser); }
    void setPicturePathChooser(PathChooser chooser) { choosePicturePath_ = std::move(chooser); }

    // The entry of the quantity list the user chose; nothing while the list
    // follows the module's mode, showing what moves in it (Feed::movingQuantity).
    std::optional<int> chosenQuantity() const { return chosenQuantity_; }
    // Chooses an entry as the user would, or with nothing follows the mode again.
    void setChosenQuantity(std::optional<int> entry);

    // Redraws both charts from the history, up to `nowMs`.
    void redraw(qint64 nowMs);
    bool savePicture(const QString& path);
    // What the picture shows: "频率  <from> 至 <to>  端口 1  地址 1".
    QString pictureTitle() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    struct Trace {
        QString name;
        QColor colour;
        QLineSeries* line = nullptr;
    };
    // The stretches where a read failed, drawn over the lines between `low`
    // and `high`: one series however many holes there are.
    struct Holes {
        Stretch::Kind kind = Stretch::Failed;
        Stretches shown;
        QAreaSeries* area = nullptr;
        QLineSeries* upper = nullptr;
        QLineSeries* lower = nullptr;
    };

    void buildCharts();
    QLineSeries* addLine(QChart* chart, QAbstractAxis* y, const QString& name,
                         const QColor& colour);
    void addHoles(Holes& holes, QChart* chart, QAbstractAxis* y, Stretch::Kind kind);
    // What the stretch under `x` (a time on the axis) holds, for its tooltip.
    QString tipAt(const Holes& holes, double x) const;
    void showHoles(Holes& holes, const Stretches& stretches, double low, double high);
    void followMode();
    void redrawWhileUnread();
    void redrawValues(qint64 fromMs);
    void redrawStates(qint64 fromMs);
    qint64 spanMs() const;
    qint64 bucketMs() const;
    qint64 joinMs() const;
    void startRecording();
    void saveClicked();
    void showRecordStatus(const QString& status);

    Feed& feed_;
    PathChooser chooseRecordPath_;
    PathChooser choosePicturePath_;
    qint64 lastNowMs_ = 0;
    qint64 wallOffsetMs_ = 0;  // added to the history's moments for the time axes
    bool redrawQueued_ = false;
    std::optional<int> chosenQuantity_;

    QComboBox* quantity_ = nullptr;
    QComboBox* span_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* record_ = nullptr;
    QPushButton* stopRecord_ = nullptr;
    QLabel* status_ = nullptr;
    QWidget* charts_ = nullptr;
    class PlotAligner* aligner_ = nullptr;
    class PointCurves* points_ = nullptr;  // the "读写任意点" points charted

    QChart* valuesChart_ = nullptr;
    QCategoryAxis* valuesTime_ = nullptr;
    QValueAxis* valuesAxis_ = nullptr;
    QList<Trace> valueTraces_;
    Holes valueHoles_;
    Holes valueUnread_;

    QChart* statesChart_ = nullptr;
    QCategoryAxis* statesTime_ = nullptr;
    QValueAxis* statesAxis_ = nullptr;
    QList<Trace> stateTraces_;
    Holes inputHoles_;
    Holes outputHoles_;
    Holes statesUnread_;
};

}  // namespace trend
