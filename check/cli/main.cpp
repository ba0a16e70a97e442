// tq7310-check: checks a module end to end, puts it back as found and
// prints a report. Exit status 0 all passed, 1 the module answered wrongly,
// 2 could not run or the line kept a step from its evidence, 3 could not be
// put back.

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <csignal>
#include <cstdio>

#include "LibraryDriver.h"
#include "ModuleCheck.h"
#include "PortTarget.h"
#include "ReportText.h"
#include "SerialLine.h"
#include "SystemErrorText.h"

namespace {

constexpr int kCouldNotRun = 2;

ModuleCheck* g_check = nullptr;
volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void onStopSignal(int) {
    g_stopRequested = 1;
    if (g_check != nullptr) {
        g_check->requestStop();
    }
}

struct Arguments {
    CheckOptions check;
    QString device;  // where the port points, as a TQ7310_COM<n> value; empty: left as it is
    module_line::TargetKind kind = module_line::TargetKind::Serial;
    bool lineGiven = false;  // --baud or --parity given
    int baud = module_line::kBauds[0];
    int parityCode = 2;  // even, as the panel starts
    bool json = false;
    bool yes = false;
    bool help = false;
    bool version = false;
    QString reportFile;
};

const char kUsage[] =
    "用法：tq7310-check [--port N] [--device PATH | --tcp 主机[:端口] | --rtu-tcp 主机:端口]\n"
    "                    [--baud 9600|19200|38400] [--parity none|odd|even]\n"
    "                    [--address 1..247] [--inputs] [--keep-counts] [--only 步骤[,步骤]]\n"
    "                    [--json] [--report FILE] --yes\n"
    "       tq7310-check --help | --version\n";

const char kStatuses[] =
    "--tcp：经 Modbus TCP 连模块或网关 (端口缺省 502)，--address 为单元号；没有波特率和校验，\n"
    "       给了 --baud 或 --parity 即拒绝。--rtu-tcp：经串口服务器以 RTU 帧连模块，\n"
    "       --baud 和 --parity 为串口服务器那一侧串口的设置。\n"
    "步骤：通信、配置、输出、计数、频率模式、输入\n"
    "退出状态：0 全部通过；1 模块应答不对（有步骤失败，或模块自行改变了配置）；\n"
    "          2 未能自检（参数不对、未给 --yes、报告文件不可写、模块无应答），\n"
    "            或线路出错使某步无法判断，或被停止；3 有改动未能恢复原状。\n";

const char kWarning[] =
    "自检会逐个接通、断开模块的输出 Y1..Y5，接在上面的负载会真的动作；\n"
    "会清零 X1..X4 的计数，清掉的计数无法恢复（--keep-counts 不清零）；\n"
    "会改写每个配置寄存器，再写回原值。确认后加 --yes 再运行。\n";

bool number(const QString& text, int low, int high, int& out) {
    bool ok = false;
    out = text.toInt(&ok);
    return ok && out >= low && out <= high;
}

// --device, --tcp or --rtu-tcp: where the port points, as its TQ7310_COM<n>
// value, checked with the driver's own parser; an error message or empty.
QString target(const QString& option, const QString& given, Arguments& a) {
    if (option == u"--device") {
        a.device = given;
        return given.isEmpty() ? QStringLiteral("--device 应给出设备路径") : QString();
    }
    const bool tcp = option == u"--tcp";
    const std::string_view prefix = tcp ? module_line::kTcpPrefix : module_line::kRtuTcpPrefix;
    const auto parsed = module_line::parsePortTarget(std::string(prefix) + given.toStdString());
    if (!parsed) {
        return tcp ? QStringLiteral("--tcp 应为 主机[:端口]，端口 1..65535，IPv6 地址加方括号")
                   : QStringLiteral("--rtu-tcp 应为 主机:端口，端口 1..65535，IPv6 地址加方括号");
    }
    a.device = QString::fromStdString(parsed->text());
    a.kind = parsed->kind;
    return {};
}

// Returns an error message, empty when the arguments are good.
QString parse(const QStringList& args, Arguments& a) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const auto value = [&](QString& out) {
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        QString v;
        if (arg == u"--help" || arg == u"-h") {
            a.help = true;
        } else if (arg == u"--version") {
            a.version = true;
        } else if (arg == u"--only") {
            if (!value(v)) {
                return QStringLiteral("--only 应给出步骤名");
            }
            a.check.only = v.split(u',', Qt::SkipEmptyParts);
            for (const QString& step : std::as_const(a.check.only)) {
                if (!ModuleCheck::stepNames().contains(step)) {
                    return QStringLiteral("--only 的步骤应为 ") +
                           ModuleCheck::stepNames().join(QStringLiteral("、"));
                }
            }
        } else if (arg == u"--inputs") {
            a.check.inputs = true;
        } else if (arg == u"--keep-counts") {
            a.check.keepCounts = true;
        } else if (arg == u"--json") {
            a.json = true;
        } else if (arg == u"--yes") {
            a.yes = true;
        } else if (arg == u"--port") {
            if (!value(v) ||
                !number(v, module_line::kFirstPort, module_line::kLastPort, a.check.port)) {
                return QStringLiteral("--port 应为 1..255");
            }
        } else if (arg == u"--device" || arg == u"--tcp" || arg == u"--rtu-tcp") {
            if (!a.device.isEmpty()) {
                return QStringLiteral("--device、--tcp 和 --rtu-tcp 只能给一个");
            }
            if (const QString error = target(arg, value(v) ? v : QString(), a); !error.isEmpty()) {
                return error;
            }
        } else if (arg == u"--address") {
            if (!value(v) || !number(v, module_line::kFirstAddress, module_line::kLastAddress,
                                     a.check.address)) {
                return QStringLiteral("--address 应为 1..247");
            }
        } else if (arg == u"--baud") {
            const auto& bauds = module_line::kBauds;
            if (!value(v) || !number(v, bauds.front(), bauds.back(), a.baud) ||
                std::find(bauds.begin(), bauds.end(), a.baud) == bauds.end()) {
                return QStringLiteral("--baud 应为 9600、19200 或 38400");
            }
            a.lineGiven = true;
        } else if (arg == u"--parity") {
            const QStringList names{QStringLiteral("none"), QStringLiteral("odd"),
                                    QStringLiteral("even")};
            if (!value(v) || !names.contains(v)) {
                return QStringLiteral("--parity 应为 none、odd 或 even");
            }
            a.parityCode = int(names.indexOf(v));
            a.lineGiven = true;
        } else if (arg == u"--report") {
            if (!value(a.reportFile)) {
                return QStringLiteral("--report 应给出文件名");
            }
        } else {
            return QStringLiteral("未知选项 ") + arg;
        }
    }
    if (a.kind == module_line::TargetKind::ModbusTcp && a.lineGiven) {
        // Refused rather than ignored: whoever gives them expects them to count.
        return QStringLiteral("--tcp 没有波特率和校验，不能同时给 --baud 或 --parity");
    }
    return {};
}

int baudCode(int baud) {
    const auto& bauds = module_line::kBauds;
    return int(std::find(bauds.begin(), bauds.end(), baud) - bauds.begin()) +
           module_line::kFirstBaudCode;
}

// Says why the check could not run: on stderr, and with --json as the
// report on stdout too, so that a program reading it always gets JSON.
int couldNotRun(const Arguments& a, const QString& error, const char* more = "") {
    std::fprintf(stderr, "tq7310-check: %s\n%s", qPrintable(error), more);
    if (a.json) {
        const QJsonObject out{{QStringLiteral("exitStatus"), kCouldNotRun},
                              {QStringLiteral("error"), error}};
        std::fputs(QJsonDocument(out).toJson().constData(), stdout);
    }
    return kCouldNotRun;
}

// The report file, opened before the module is touched so that a file that
// cannot be written stops the check before it starts; written whole or not
// at all (a file beside it, renamed over it).
QString openReport(QSaveFile& file) {
    const QFileInfo info(file.fileName());
    if (info.exists() && !info.isFile()) {
        return QStringLiteral("%1 不是普通文件").arg(file.fileName());
    }
    clearFileError();
    if (!file.open(QIODevice::WriteOnly)) {
        return QStringLiteral("未能写入 %1：%2")
            .arg(file.fileName(), systemErrorText(lastFileError(), ErrorSubject::File));
    }
    return {};
}

void installStopSignals() {
    // A closed terminal (SIGHUP) or a reader gone (SIGPIPE) stops the check
    // as Ctrl-C does: what was changed still goes back.
#ifdef _WIN32
    // Ctrl-C in a console arrives as SIGINT.
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    stop.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaction(signal, &stop, nullptr);
    }
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Arguments a;
    // Asked for JSON, a program gets it for a bad argument before --json too.
    a.json = app.arguments().contains(QStringLiteral("--json"));
    if (const QString error = parse(app.arguments(), a); !error.isEmpty()) {
        return couldNotRun(a, error, kUsage);
    }
    if (a.help) {
        std::printf("%s%s", kUsage, kStatuses);
        return 0;
    }
    if (a.version) {
        std::printf("tq7310-check " TQ7310_VERSION "\n");
        return 0;
    }
    if (!a.yes) {
        return couldNotRun(a, QStringLiteral("未给 --yes"), kWarning);
    }
    QSaveFile reportFile(a.reportFile);
    if (!a.reportFile.isEmpty()) {
        if (const QString error = openReport(reportFile); !error.isEmpty()) {
            return couldNotRun(a, error);
        }
    }
    if (!a.device.isEmpty()) {
        // The driver maps port n, at its open, to what this variable names.
        qputenv(module_line::portVariable(a.check.port).c_str(), a.device.toLocal8Bit());
    }
    installStopSignals();
    LibraryDriver driver;
    const DriverResult opened =
        driver.OpenPort_Modbus(a.check.port, baudCode(a.baud), a.parityCode);
    if (!opened) {
        return couldNotRun(a, QStringLiteral("未能加载 ModbusRTU 驱动库"));
    }
    ReportHeader header;
    header.when = QDateTime::currentDateTime();
    header.port = a.check.port;
    header.baud = a.baud;
    header.parity = *module_line::parityOfCode(a.parityCode);
    header.address = a.check.address;
    header.driver = driver.loadedFrom() + QStringLiteral(" (tq7310-panel " TQ7310_VERSION ")");
    if (const auto status = driver.linkStatus(a.check.port)) {
        header.device = QString::fromLocal8Bit(status->device);
    }
    if (*opened != 0) {
        const auto status = driver.linkStatus(a.check.port);
        return couldNotRun(
            a, QStringLiteral("%1 打开失败：%2")
                   .arg(header.device, status ? systemErrorText(status->system_error)
                                              : QStringLiteral("端口号或通讯参数无效")));
    }

    ModuleCheck check(driver, a.check);
    const int waitS = a.check.inputWaitMs / 1000;
    check.onPrompt = [waitS](const QString& ask) {
        std::fprintf(stderr, ">>> %s (%d s)\n", qPrintable(ask), waitS);
    };
    check.onStepStarted = [](const QString& name) {
        std::fprintf(stderr, "%s...\n", qPrintable(name));
    };
    check.onStepDone = [](const StepResult& step) {
        std::fprintf(stderr, "%s: %s (%lld ms)\n", qPrintable(step.name),
                     qPrintable(verdictText(step.verdict)), static_cast<long long>(step.ms));
    };
    check.onRestoring = [](qint64 ms) {
        std::fprintf(stderr, "恢复原状… 已试 %.1f s，最多 %d s\n", double(ms) / 1000,
                     ModuleCheck::kRestoreTryMs / 1000);
    };
    g_check = &check;
    if (g_stopRequested != 0) {
        check.requestStop();
    }
    const CheckReport report = check.run();
    g_check = nullptr;
    driver.ClosePort_Modbus(a.check.port);

    const QByteArray out =
        a.json ? reportJson(header, report) : reportText(header, report).toUtf8();
    std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout);
    std::fflush(stdout);
    int status = exitStatusOf(report);
    if (!a.reportFile.isEmpty()) {
        clearFileError();
        if (reportFile.write(out) != out.size() || !reportFile.commit()) {
            std::fprintf(stderr, "tq7310-check: 未能写入 %s：%s\n", qPrintable(a.reportFile),
                         qPrintable(systemErrorText(lastFileError(), ErrorSubject::File)));
            // An older report left there would pass for this run's.
            QFile::remove(a.reportFile);
            status = status == 0 ? kCouldNotRun : status;
        }
    }
    return status;
}
