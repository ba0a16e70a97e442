#pragma once
// Reads CSV as RFC 4180 has it, independently of the panel's writer: quoted
// fields with doubled quotes, commas and line breaks inside them, rows ended
// by CRLF.

#include <QList>
#include <QString>
#include <QStringList>

inline QList<QStringList> readCsv(const QString& text) {
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
            any = true;
        } else if (c == u',') {
            row << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row << field;
            rows << row;
            row.clear();
            field.clear();
            any = false;
            ++i;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty() || !row.isEmpty()) {
        row << field;
        rows << row;  // a last row without its line end: the writer left it unfinished
    }
    return rows;
}
