#pragma once
// "读写任意点": rows of any points of any slave on the open link, each read
// at its own period, and the chosen row's points, whose values can be typed
// in (or a coil ticked) to be written. It never opens or closes the port.

#include <QWidget>

#include "AnyPointPoller.h"
#include "FirstPointBox.h"
#include "PointsTable.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QTableWidget;
class QTableWidgetItem;

namespace anypoint {

class AnyPointWindow : public QWidget {
    Q_OBJECT
  public:
    AnyPointWindow(AnyPointPoller& poller, QWidget* parent = nullptr);
    ~AnyPointWindow() override;

    // A word under the buttons: in red, and told to a screen reader, when
    // something was not done.
    void showNote(const QString& note, bool failed = false);

  signals:
    void saveWorkspaceClicked();
    void openWorkspaceClicked();

  private:
    // The row the settings above describe.
    PointRow rowFromSettings() const;
    void showSettings(const PointRow& row);
    void addRow();
    void changeRow();
    void removeRow();
    void fillRow(int index);
    void showAllRows();
    void keepRoomForValues();
    void showPoints();
    int chosenRow() const;

    AnyPointPoller& poller_;
    QSpinBox* address_;
    QComboBox* table_;
    FirstPointBox* first_;
    QComboBox* base_;
    QLabel* manual_;  // what a first point typed in the manuals' notation meant
    QSpinBox* count_;
    QComboBox* format_;
    QComboBox* period_;
    QSpinBox* wait_;
    QSpinBox* retries_;
    QTableWidget* rows_;
    PointsTable* points_;
    QLabel* note_;
};

}  // namespace anypoint
