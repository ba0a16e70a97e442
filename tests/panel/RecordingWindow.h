#pragma once
// WindowAccess on plain tables, for handler tests without a window.

#include <QHash>
#include <QSet>
#include <functional>

#include "WindowAccess.h"

class RecordingWindow : public WindowAccess {
  public:
    QHash<QString, QString> texts;     // editor texts the handlers read
    QSet<QString> selected;            // option buttons that are selected
    QHash<QString, QString> captions;  // captions the handlers wrote
    QHash<QString, Rgb> colours;
    QHash<QString, bool> timers;
    mutable QSet<QString> reached;  // every control a handler named
    int yields = 0;
    std::function<void()> onYield;

    QString text(const QString& control) const override {
        reached << control;
        return texts.value(control);
    }
    bool isSelected(const QString& option) const override {
        reached << option;
        return selected.contains(option);
    }
    void setText(const QString& control, const QString& text) override {
        reached << control;
        texts[control] = text;
    }
    void select(const QString& option) override {
        reached << option;
        selected << option;
    }
    void setCaption(const QString& control, const QString& caption) override {
        reached << control;
        captions[control] = caption;
    }
    void setBackground(const QString& control, Rgb colour) override {
        reached << control;
        colours[control] = colour;
    }
    void setTimerEnabled(const QString& timer, bool enabled) override {
        reached << timer;
        timers[timer] = enabled;
    }
    void yieldToEvents() override {
        ++yields;
        if (onYield) {
            onYield();
        }
    }
};
