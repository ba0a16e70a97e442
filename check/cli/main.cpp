// tq7310-check: checks a module end to end, puts it back as found and
// prints a report. Exit status 0 all passed, 1 a step failed, 2 could not
// run, 3 could not be put back.

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <csignal>
#include <cstdio>

#include "LibraryDriver.h"
#include "ModuleCheck.h"
#include "ReportText.h"
#include "SerialLine.h"
#include "SystemErrorText.h"

namespace {

constexpr int kCouldNotRun = 2;

ModuleCheck* g_check = nullptr;

extern "C" void onStopSignal(int) {
    if (g_check != nullptr) {
        g_check->requestStop();
    }
}

struct Arguments {
    CheckOptions check;
    QString device;
    int baud = module_line::kBauds[0];
    int parityCode = 2;  // even, as the panel starts
    bool json = false;
    bool yes = false;
    QString reportFile;
};

const char kUsage[] =
    "用法：tq7310-check [--port N | --device PATH] [--baud 9600|19200|38400]\n"
    "                    [--parity none|odd|even] [--address 1..247] [--inputs]\n"
    "                    [--keep-counts] [--json] [--report FILE] --yes\n";

const char kWarning[] =
    "自检会逐个接通、断开模块的输出 Y1..Y5，接在上面的负载会真的动作；\n"
    "会清零 X1..X4 的计数，清掉的计数无法恢复（--keep-counts 不清零）；\n"
    "会改写每个配置寄存器，再写回原值。确认后加 --yes 再运行。\n";

bool number(const QString& text, int low, int high, int& out) {
    bool ok = false;
    out = text.toInt(&ok);
    return ok && out >= low && out <= high;
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
        if (arg == u"--inputs") {
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
        } else if (arg == u"--device") {
            if (!value(a.device) || a.device.isEmpty()) {
                return QStringLiteral("--device 应给出设备路径");
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
        } else if (arg == u"--parity") {
            const QStringList names{QStringLiteral("none"), QStringLiteral("odd"),
                                    QStringLiteral("even")};
            if (!value(v) || !names.contains(v)) {
                return QStringLiteral("--parity 应为 none、odd 或 even");
            }
            a.parityCode = int(names.indexOf(v));
        } else if (arg == u"--report") {
            if (!value(a.reportFile)) {
                return QStringLiteral("--report 应给出文件名");
            }
        } else {
            return QStringLiteral("未知选项 ") + arg;
        }
    }
    return {};
}

int baudCode(int baud) {
    const auto& bauds = module_line::kBauds;
    return int(std::find(bauds.begin(), bauds.end(), baud) - bauds.begin()) +
           module_line::kFirstBaudCode;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Arguments a;
    if (const QString error = parse(app.arguments(), a); !error.isEmpty()) {
        std::fprintf(stderr, "tq7310-check: %s\n%s", qPrintable(error), kUsage);
        return kCouldNotRun;
    }
    if (!a.yes) {
        std::fprintf(stderr, "%s%s", kWarning, kUsage);
        return kCouldNotRun;
    }
    if (!a.device.isEmpty()) {
        // The driver maps port n to the device this variable names.
        qputenv(qPrintable(QStringLiteral("TQ7310_COM%1").arg(a.check.port)),
                a.device.toLocal8Bit());
    }
    LibraryDriver driver;
    const DriverResult opened =
        driver.OpenPort_Modbus(a.check.port, baudCode(a.baud), a.parityCode);
    if (!opened) {
        std::fprintf(stderr, "tq7310-check: 未能加载 ModbusRTU 驱动库\n");
        return kCouldNotRun;
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
        std::fprintf(stderr, "tq7310-check: %s 打开失败：%s\n", qPrintable(header.device),
                     qPrintable(status ? systemErrorText(status->system_error)
                                       : QStringLiteral("端口号或通讯参数无效")));
        return kCouldNotRun;
    }

    ModuleCheck check(driver, a.check);
    check.onPrompt = [](const QString& ask) {
        std::fprintf(stderr, ">>> %s (30 s)\n", qPrintable(ask));
    };
    check.onStepStarted = [](const QString& name) {
        std::fprintf(stderr, "%s...\n", qPrintable(name));
    };
    g_check = &check;
#ifdef _WIN32
    // Ctrl-C in a console arrives as SIGINT.
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    stop.sa_flags = SA_RESTART;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
#endif
    const CheckReport report = check.run();
    g_check = nullptr;
    driver.ClosePort_Modbus(a.check.port);

    const QByteArray out =
        a.json ? reportJson(header, report) : reportText(header, report).toUtf8();
    std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout);
    std::fflush(stdout);
    if (!a.reportFile.isEmpty()) {
        QFile file(a.reportFile);
        clearFileError();
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(out) != out.size()) {
            std::fprintf(stderr, "tq7310-check: 未能写入 %s：%s\n", qPrintable(a.reportFile),
                         qPrintable(systemErrorText(lastFileError(), ErrorSubject::File)));
        }
    }
    return exitStatusOf(report);
}
