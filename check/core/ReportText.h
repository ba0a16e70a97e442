#pragma once
// A check's report as a technician reads it and as a program reads it.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "CheckReport.h"

// Where and how the check talked to the module.
struct ReportHeader {
    QDateTime when;
    int port = 1;
    QString device;
    int baud = 9600;
    char parity = 'E';
    int address = 1;
    QString driver;  // the library file and the version it was built with
};

QString verdictText(Verdict verdict);
QString reportText(const ReportHeader& header, const CheckReport& report);
QByteArray reportJson(const ReportHeader& header, const CheckReport& report);
