#include "ReportText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "ModuleCheck.h"
#include "PortTarget.h"

namespace {

QString valueText(const std::optional<int>& value) {
    return value ? QString::number(*value) : QStringLiteral("未知");
}

QJsonValue jsonValue(const std::optional<int>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

}  // namespace

QString verdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Passed:
            return QStringLiteral("通过");
        case Verdict::Failed:
            return QStringLiteral("失败");
        case Verdict::LinkProblem:
            return QStringLiteral("通讯故障");
        case Verdict::Skipped:
            break;
    }
    return QStringLiteral("跳过");
}

QString reportText(const ReportHeader& header, const CheckReport& report) {
    // Modbus TCP has no line settings, and its slave is a unit.
    const auto target = module_line::parsePortTarget(header.device.toStdString());
    const QString line = target && target->kind == module_line::TargetKind::ModbusTcp
                             ? QStringLiteral("单元 %1").arg(header.address)
                             : QStringLiteral("%1,%2,8,1, 地址 %3")
                                   .arg(header.baud)
                                   .arg(QChar::fromLatin1(header.parity))
                                   .arg(header.address);
    QString out;
    out += QStringLiteral("TQ7310 自检报告\n时间: %1\n端口: %2 (%3), %4\n驱动: %5\n")
               .arg(header.when.toString(Qt::ISODate))
               .arg(header.port)
               .arg(header.device, line, header.driver);
    for (const StepResult& step : report.steps) {
        out += QStringLiteral("\n[%1] %2 (%3 ms)\n")
                   .arg(verdictText(step.verdict), step.name)
                   .arg(step.ms);
        for (const QString& line : step.evidence) {
            out += QStringLiteral("    ") + line + u'\n';
        }
    }
    if (!report.points.isEmpty()) {
        out += QStringLiteral("\n原状与留下的状态:\n");
        for (const PointState& p : report.points) {
            out += QStringLiteral("    %1: 原 %2, 现 %3%4\n")
                       .arg(p.name, valueText(p.found), valueText(p.left),
                            p.notRestored ? QStringLiteral("  <-- 未恢复") : QString());
        }
    }
    if (report.lineFailures > 0) {
        out += QStringLiteral("\n线路丢失或损坏 %1 次, 重试 %2 次 (每次最多试 %3 次)\n")
                   .arg(report.lineFailures)
                   .arg(report.retries)
                   .arg(ModuleCheck::kTries);
    }
    if (report.restoreMs > 0) {
        out += QStringLiteral("恢复原状用时 %1 ms\n").arg(report.restoreMs);
    }
    for (const QString& line : report.selfChanged) {
        out += QStringLiteral("\n!!! %1 (未写回) !!!\n").arg(line);
    }
    if (!report.notRestored.isEmpty()) {
        out += QStringLiteral("\n!!! 未能恢复原状: %1 !!!\n")
                   .arg(report.notRestored.join(QStringLiteral(", ")));
    }
    return out;
}

QByteArray reportJson(const ReportHeader& header, const CheckReport& report) {
    QJsonArray steps;
    for (const StepResult& step : report.steps) {
        steps.append(
            QJsonObject{{QStringLiteral("name"), step.name},
                        {QStringLiteral("verdict"), verdictText(step.verdict)},
                        {QStringLiteral("ms"), step.ms},
                        {QStringLiteral("evidence"), QJsonArray::fromStringList(step.evidence)}});
    }
    QJsonArray points;
    for (const PointState& p : report.points) {
        points.append(QJsonObject{{QStringLiteral("name"), p.name},
                                  {QStringLiteral("found"), jsonValue(p.found)},
                                  {QStringLiteral("left"), jsonValue(p.left)}});
    }
    const QJsonObject root{
        {QStringLiteral("when"), header.when.toString(Qt::ISODate)},
        {QStringLiteral("port"), header.port},
        {QStringLiteral("device"), header.device},
        {QStringLiteral("baud"), header.baud},
        {QStringLiteral("parity"), QString(QChar::fromLatin1(header.parity))},
        {QStringLiteral("address"), header.address},
        {QStringLiteral("driver"), header.driver},
        {QStringLiteral("answered"), report.answered},
        {QStringLiteral("stopped"), report.stopped},
        {QStringLiteral("steps"), steps},
        {QStringLiteral("points"), points},
        {QStringLiteral("notRestored"), QJsonArray::fromStringList(report.notRestored)},
        {QStringLiteral("selfChanged"), QJsonArray::fromStringList(report.selfChanged)},
        {QStringLiteral("lineFailures"), report.lineFailures},
        {QStringLiteral("retries"), report.retries},
        {QStringLiteral("restoreMs"), report.restoreMs},
        {QStringLiteral("exitStatus"), exitStatusOf(report)}};
    return QJsonDocument(root).toJson();
}
