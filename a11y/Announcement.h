#pragma once
// Telling a screen reader what it would otherwise miss — a link lost or
// back, a write refused, a search or a check ended — whichever control has
// the focus. A changed label nobody looks at is silent; an alert shown is
// spoken. The words go to an alert in the window the user acted in, shown
// anew for every announcement.

#include <QString>

class QWidget;

// Announces `words` in the window of `where`; nothing for empty words or a
// window not shown.
void announce(QWidget* where, const QString& words);

// The words of the last announcement in the window of `where`.
QString lastAnnouncement(const QWidget* where);
