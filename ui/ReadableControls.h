#pragma once
// The main window's containers and drop-down lists as a screen reader should
// meet them. A drop-down list is named by its caption ("通讯端口") with its
// current item as value; Qt on Linux would name it by the item ("1 ") and
// leave the caption to a relation. A caption whose words name a control
// beside it is left out of the tree, so nothing is read twice ("X1", "X1").

#include <QComboBox>
#include <QGroupBox>
#include <QWidget>

class QAccessibleInterface;

class CaptionedCombo : public QComboBox {
    Q_OBJECT
  public:
    using QComboBox::QComboBox;
};

class ControlFrame : public QGroupBox {
    Q_OBJECT
  public:
    using QGroupBox::QGroupBox;
};

class ClientArea : public QWidget {
    Q_OBJECT
  public:
    using QWidget::QWidget;
};

// The caption `label` is spoken as part of another control's name.
void markNamesAnother(QWidget* label);

// For the classes above; null for any other object.
QAccessibleInterface* accessibleReadable(QObject* object);
