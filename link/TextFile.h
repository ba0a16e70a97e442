#pragma once
// Saving what a window shows as a text file, and the words for how it went.

#include <QString>

struct SaveOutcome {
    bool saved = false;
    QString words;  // "已保存：path", or "未能保存：" and the system's reason
};

// Writes `text` to `path` in UTF-8, replacing what was there.
SaveOutcome writeTextFile(const QString& path, const QString& text);
