#include "Record.h"

#include <cerrno>

#include "ModuleMap.h"
#include "SystemErrorText.h"

namespace trend {

namespace {

QString value(const Value& v) {
    return v ? QString::number(*v) : QString();
}

QString state(const State& s) {
    return s ? QString(*s ? QLatin1Char('1') : QLatin1Char('0')) : QString();
}

// Local time with milliseconds and the offset from UTC ("Z" at UTC), so
// that a record read elsewhere still says when it was taken.
QString isoTime(const QDateTime& t) {
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// Qt's own error string is English and the system's error is the whole
// reason: when it left none there is nothing truer to say than that it failed.
QString reason(int error, const QString& whenUnknown) {
    return error != 0 ? systemErrorText(error, ErrorSubject::File) : whenUnknown;
}

}  // namespace

QStringList recordHeader() {
    QStringList h{QStringLiteral("时间"), QStringLiteral("端口"), QStringLiteral("地址")};
    for (int i = 1; i <= kInputs; ++i) {
        h << QStringLiteral("X%1 16位计数").arg(i);
    }
    for (int i = 1; i <= kInputs; ++i) {
        h << QStringLiteral("X%1 32位计数").arg(i);
    }
    for (int i = 1; i <= kInputs; ++i) {
        h << QStringLiteral("X%1 频率").arg(i);
    }
    for (int k = 1; k <= kConfigRegisters; ++k) {
        h << QStringLiteral("配置寄存器%1").arg(k);
    }
    for (int i = 0; i < kStates; ++i) {
        h << stateName(i);
    }
    return h;
}

QStringList recordFields(const Sample& s) {
    QStringList f{isoTime(s.time), QString::number(s.port), QString::number(s.address)};
    // Values as the window shows them: signed decimal, so the record and the
    // boxes agree on a 32-bit count past 2147483647.
    for (const auto* group : {&s.count16, &s.count32, &s.frequency}) {
        for (const Value& v : *group) {
            f << value(v);
        }
    }
    for (const Value& v : s.config) {
        f << value(v);
    }
    for (const State& st : s.states) {
        f << state(st);
    }
    return f;
}

QByteArray csvLine(const QStringList& fields) {
    return csvFields(fields) + "\r\n";
}

QByteArray csvFields(const QStringList& fields) {
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& field : fields) {
        if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
            field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))) {
            QString q = field;
            q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            quoted << QLatin1Char('"') + q + QLatin1Char('"');
        } else {
            quoted << field;
        }
    }
    return quoted.join(QLatin1Char(',')).toUtf8();
}

QString defaultRecordPath(const QString& folder, const QDateTime& now) {
    return folder + QStringLiteral("/tq7310-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
           QStringLiteral(".csv");
}

QString RecordFile::open(const QString& path, PointColumns points) {
    close();
    points_ = std::move(points);
    file_.setFileName(path);
    clearFileError();
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        return reason(lastFileError(), QStringLiteral("无法创建文件"));
    }
    check_.take(file_.handle());
    written_ = 0;
    return write(QByteArray("\xEF\xBB\xBF") + csvLine(recordHeader() + points_.header()));
}

QString RecordFile::append(const Sample& sample) {
    if (!file_.isOpen()) {
        return QStringLiteral("文件未打开");
    }
    const FileState state = check_.check(file_.fileName(), file_.handle(), written_);
    if (state.fate != FileFate::Same) {
        close();
        return fateText(state);
    }
    // The points' cells are numbers or nothing: none needs quoting.
    return write(csvFields(recordFields(sample)) + points_.cells(sample.ms) + "\r\n");
}

QString RecordFile::write(const QByteArray& bytes) {
    clearFileError();
    if (file_.write(bytes) != bytes.size()) {
        const QString why = reason(lastFileError(), QStringLiteral("写入失败"));
        // A reader would take half a row for failed reads.
        file_.resize(written_);
        file_.close();
        return why;
    }
    written_ += bytes.size();
    return {};
}

void RecordFile::close() {
    if (file_.isOpen()) {
        file_.close();
    }
}

}  // namespace trend
