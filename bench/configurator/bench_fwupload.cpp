// Upload time of the largest firmware file (500000 bytes) through the
// configurator's own Files tab to the simulated device (brelko-sim-hid, a
// separate process, reached through the preloaded hidapi replacement),
// against the pace the upload timer sets: one report per tick. The upload
// only counts when the device reassembled the very file that was sent.
//
// Usage: bench_fwupload [--json FILE]. Starts itself again with the
// replacement preloaded when it is not; finds brelko-sim-hid and the
// replacement in BRELKO_BIN_DIR / BRELKO_LIB_DIR or beside itself.
#include "common/settings.h"
#include "configurator/centralwidget.h"
#include "configurator/firmwareimage.h"
#include "configurator/mainwindow.h"
#include "configurator/updatefwtab.h"
#include "platform/hid/hidnotifier.h"
#include "tests/configurator/testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include <unistd.h>

using namespace brelko;
using namespace configurator;

namespace {

constexpr const char kPreloadName[] = "libhidapi-brelkosim.so";

// The folder of this executable, before Qt is up.
std::string selfDir()
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string path(buf, size_t(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Runs this program again with the replacement preloaded; returns only on failure.
int reexecPreloaded(char **argv)
{
    const char *libDir = std::getenv("BRELKO_LIB_DIR");
    const std::string lib
        = (libDir && *libDir ? std::string(libDir) : selfDir() + "/../lib") + "/" + kPreloadName;
    if (::access(lib.c_str(), R_OK) != 0) {
        std::fprintf(
            stderr, "bench_fwupload: %s not found (build the hidapi-brelkosim target)\n", lib.c_str());
        return 2;
    }
    const char *old = std::getenv("LD_PRELOAD");
    const std::string preload = old && *old ? lib + ":" + old : lib;
    ::setenv("LD_PRELOAD", preload.c_str(), 1);
    ::execv("/proc/self/exe", argv);
    std::perror("bench_fwupload: exec");
    return 2;
}

QByteArray largestFirmware()
{
    QByteArray f(int(FirmwareImage::kMaxFileSize), '\0');
    quint32 x = 0x2468ACE1u;
    for (int i = 0; i < f.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        f[i] = char(x >> 24);
    }
    // The image and feature words the simulated device has; version 1.3.0.
    const quint32 words[] = { 0xFE0A0001u, 1, 3, 0, 2 };
    for (int w = 0; w < 5; ++w) {
        for (int b = 0; b < 4; ++b)
            f[392 + 4 * w + b] = char(words[w] >> (8 * b));
    }
    return f;
}

// Runs the event loop (never sleeps: the upload timer lives on this thread)
// until done() holds or the time is up.
bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// brelko-sim-hid as its own process; stopped with the object.
class DeviceProcess
{
public:
    bool start(const QString &program, const QString &socket)
    {
        m_socket = socket;
        m_proc.setProgram(program);
        m_proc.setArguments({ QStringLiteral("--socket"), socket });
        m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_proc.start();
        if (!m_proc.waitForStarted(10000))
            return false;
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!out.contains("listening") && clock.elapsed() < 15000) {
            m_proc.waitForReadyRead(200);
            out += m_proc.readAllStandardOutput();
        }
        return out.contains("listening");
    }
    ~DeviceProcess()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.closeWriteChannel();
            m_proc.terminate();
            if (!m_proc.waitForFinished(5000)) {
                m_proc.kill();
                m_proc.waitForFinished(5000);
            }
        }
    }
    QString control(const QString &line) const { return HidSimClient::control(m_socket, line); }
    QStringList log() const
    {
        QStringList out;
        const QStringList lines = control(QStringLiteral("log")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &l : lines) {
            if (l != QLatin1String("plugged") && l != QLatin1String("unplugged"))
                out << l;
        }
        return out;
    }

private:
    QProcess m_proc;
    QString m_socket;
};

int fail(const QString &why)
{
    std::fprintf(stderr, "bench_fwupload: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("hidapi-brelkosim")))
        return reexecPreloaded(argv);

    // Settings, sockets and the firmware file stay in a folder of our own.
    QTemporaryDir home;
    if (!home.isValid())
        return fail(QStringLiteral("no temporary folder"));
    const QByteArray homePath = home.path().toLocal8Bit();
    qputenv("XDG_DATA_HOME", homePath + "/data");
    qputenv("XDG_CONFIG_HOME", homePath + "/config");
    const QString socket = home.filePath(QStringLiteral("hid.sock"));
    qputenv("BRELKO_HID_SOCKET", socket.toLocal8Bit());

    QString jsonPath;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--json" && i + 1 < argc) {
            jsonPath = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--json FILE]\n", argv[0]);
            return 2;
        }
    }
    // The main window takes a first argument for the program to hand back
    // to: it gets none.
    int appArgc = 1;
    QApplication app(appArgc, argv);
    // The tab's per-chunk debug lines are not part of the figure.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });

    const QString binDir = qEnvironmentVariable("BRELKO_BIN_DIR", QCoreApplication::applicationDirPath());
    DeviceProcess device;
    if (!device.start(binDir + QStringLiteral("/brelko-sim-hid"), socket))
        return fail(QStringLiteral("brelko-sim-hid did not start from ") + binDir);
    for (const char *c : { "plug", "factory", "feature 2", "imageword 0xFE0A0001", "value 6 1.2.0" }) {
        if (device.control(QString::fromLatin1(c)).startsWith(QLatin1String("err")))
            return fail(QStringLiteral("device refused \"%1\"").arg(QString::fromLatin1(c)));
    }

    const QByteArray file = largestFirmware();
    const QString path = home.filePath(QStringLiteral("largest.refw"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(file) != file.size())
            return fail(QStringLiteral("cannot write ") + path);
    }

    QApplication::setQuitOnLastWindowClosed(false);
    Settings::instance()->setFile(home.filePath(QStringLiteral("config.ini")));
    HidNotifier::instance()->rescan();
    TestSupport::BoxWatcher boxes;
    boxes.answer = QMessageBox::Yes;

    auto window = std::make_unique<MainWindow>();
    CentralWidget *central = window->centralPart();
    UpdateFwTab *files = central->filesTab();
    window->show();
    if (!waitFor([central] { return central->tabWidget()->isVisible(); }, 30000))
        return fail(QStringLiteral("the configurator did not find the device"));
    central->tabWidget()->setCurrentWidget(files);
    files->setFirmwarePath(path);
    device.control(QStringLiteral("clearlog"));

    QElapsedTimer clock;
    qint64 startedNs = -1;
    qint64 finishedNs = -1;
    QObject::connect(files, &UpdateFwTab::startUpdate, files, [&] { startedNs = clock.nsecsElapsed(); });
    QObject::connect(files, &UpdateFwTab::finishedUpdate, files, [&] { finishedNs = clock.nsecsElapsed(); });
    clock.start();
    files->updateButton()->click();
    if (startedNs < 0)
        return fail(
            QStringLiteral("the upload did not start; boxes: ") + boxes.texts().join(QStringLiteral(" | ")));
    if (!waitFor([&] { return finishedNs >= 0; }, 600000))
        return fail(QStringLiteral("the upload did not finish within 10 minutes"));

    // The device must have the file, whole, and be told to restart; the
    // start question must be the only box (an upload failure shows one).
    if (!waitFor([&] { return device.log().contains(QStringLiteral("restart")); }, 30000))
        return fail(QStringLiteral("no restart after the upload; boxes: ")
            + boxes.texts().join(QStringLiteral(" | ")));
    if (boxes.boxes.size() != 1)
        return fail(QStringLiteral("unexpected boxes: ") + boxes.texts().join(QStringLiteral(" | ")));
    const QStringList log = device.log();
    static const QRegularExpression chunkRe(QStringLiteral("^chunk \\d+$"));
    const int chunks = log.filter(chunkRe).size();
    const int endMarkers = log.filter(QRegularExpression(QStringLiteral("^chunk end$"))).size();
    const int expected = 1
        + int((file.size() - FirmwareImage::kFirstChunkData + FirmwareImage::kChunkData - 1)
            / FirmwareImage::kChunkData);
    const QString sha1 = device.control(QStringLiteral("fwsha1")).trimmed();
    const QString wanted
        = QString::fromLatin1(QCryptographicHash::hash(file, QCryptographicHash::Sha1).toHex());
    if (chunks != expected || endMarkers != 1)
        return fail(QStringLiteral("device saw %1 chunks and %2 end markers, expected %3 and 1")
                        .arg(chunks)
                        .arg(endMarkers)
                        .arg(expected));
    if (sha1 != wanted)
        return fail(QStringLiteral("device holds %1, the file is %2").arg(sha1, wanted));
    window.reset();

    // One chunk per timer tick; the end marker goes out with the last one.
    const double seconds = double(finishedNs - startedNs) / 1e9;
    const double paced = chunks * UpdateFwTab::kUploadIntervalMs / 1000.0;
    std::printf("Firmware upload, %d bytes, through the Files tab to brelko-sim-hid:\n", int(file.size()));
    std::printf("  %d chunk reports + %d end marker, one per %d ms tick: paced %.2f s\n", chunks, endMarkers,
        UpdateFwTab::kUploadIntervalMs, paced);
    std::printf("  measured %.2f s (%.2f ms per report), %.3f x the pace; device SHA-1 matches\n", seconds,
        seconds * 1000 / chunks, seconds / paced);
    if (!jsonPath.isEmpty()) {
        const QJsonObject o { { "bytes", file.size() }, { "reports", chunks }, { "end_markers", endMarkers },
            { "interval_ms", UpdateFwTab::kUploadIntervalMs }, { "seconds", seconds },
            { "paced_seconds", paced }, { "ratio", seconds / paced }, { "sha1_ok", true } };
        QFile f(jsonPath);
        const QByteArray json = QJsonDocument(o).toJson(QJsonDocument::Indented);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(json) != json.size())
            return fail(QStringLiteral("cannot write ") + jsonPath);
    }
    return 0;
}
