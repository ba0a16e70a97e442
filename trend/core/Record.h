#pragma once
// The record of a test: one CSV row per counter tick, UTF-8 with a byte-order
// mark and RFC 4180 quoting, so that a spreadsheet opens it as it is. Every
// row goes to the system as it is written, unbuffered, so a crash loses at
// most the row being written. Before each row the path must still name the
// file written into; the first failure cuts a half-written row back to the
// last whole one, closes the file and says why, and nothing more is written.

#include <QFile>
#include <QString>
#include <QStringList>

#include "FileCheck.h"
#include "PointColumns.h"
#include "Sample.h"

namespace trend {

QStringList recordHeader();
QStringList recordFields(const Sample& sample);
// Fields joined with commas, quoted where they need it, ended by CRLF.
QByteArray csvLine(const QStringList& fields);
// The same without the line's end.
QByteArray csvFields(const QStringList& fields);

// "tq7310-20261207-173002.csv" in `folder`.
QString defaultRecordPath(const QString& folder, const QDateTime& now);

class RecordFile {
  public:
    // Creates (or empties) the file and writes the mark and the header, the
    // module's columns then `points`'s; an empty string when that worked,
    // else the reason.
    QString open(const QString& path, PointColumns points = {});
    // Appends the sample's row, the points' values at its moment after the
    // module's, and flushes it; an empty string when that worked, else the
    // reason, and the file is closed.
    QString append(const Sample& sample);
    // The points' columns, which take their reads as they come.
    PointColumns& points() { return points_; }
    void close();

    bool isOpen() const { return file_.isOpen(); }
    QString path() const { return file_.fileName(); }

  private:
    QString write(const QByteArray& bytes);

    QFile file_;
    FileCheck check_;
    PointColumns points_;
    qint64 written_ = 0;  // bytes of whole rows, the header's included
};

}  // namespace trend
