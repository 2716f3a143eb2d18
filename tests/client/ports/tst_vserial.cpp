#include "client/ports/vserial.h"
#include "platform/vsportax.h"
#include "platform/vsportbus.h"
#include "platform/vsportclient.h"
#include "platform/vsportpty.h"

#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <atomic>
#include <termios.h>
#include <thread>

using namespace morvex;

namespace {

constexpr int kWait = 5000;

// Answers like a faulty component: more bytes than asked, lines that are
// not numbers.
class BrokenComponent final : public VSPortAx
{
public:
    BrokenComponent()
        : VSPortAx(QString::fromLatin1(kProgId))
    {
    }

    QVariant dynamicCall(const char *signature, const QVariantList &args) override
    {
        if (qstrcmp(signature, "ReadArray(int)") == 0)
            return QByteArray(args.value(0).toInt() + 100, 'x');
        if (qstrcmp(signature, "RTS") == 0 || qstrcmp(signature, "DTR") == 0)
            return QStringLiteral("high");
        return VSPortAx::dynamicCall(signature, args);
    }
};

QList<QVariant> last(const QSignalSpy &spy)
{
    return spy.isEmpty() ? QList<QVariant>() : spy.last();
}

} // namespace

class TestVSerial : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void programOpensWritesAndCloses();
    void rigctlOpensThePort();
    void createExistingThenAttach();
    void attachWithoutProgramEmitsNothing();
    void deleteKeepsName();
    void goodPortNames_data();
    void goodPortNames();
    void badPortNames_data();
    void badPortNames();
    void readWithNothingAndReset();
    void writeToClosedPortIsRefused();
    void modemLines();
    void lineReadsFromAnotherThread();
    void classOperations();
    void oddBaudRates_data();
    void oddBaudRates();
    void settingsSeenWithoutPacketReports();
    void megabytesArriveInOrder();
    void resetWhileProgramKeepsWriting();
    void openCloseLoop();
    void firstBytesAreAnswered();
    void overlongComponentAnswerIsCut();
    void nonNumericLineReadWarns();
};

void TestVSerial::init()
{
    QVERIFY(VSerial::isAvailable());
}

void TestVSerial::cleanup()
{
    VSerial::resetBus();
}

void TestVSerial::programOpensWritesAndCloses()
{
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM5")));
    QCOMPARE(dev.portName(), QStringLiteral("COM5"));
    QVERIFY(dev.open(QIODevice::ReadWrite));
    QVERIFY(dev.openMode() & QIODevice::Unbuffered);
    const QString link = VSPortBus::directory() + QStringLiteral("/COM5");
    QVERIFY(QFileInfo(link).isSymLink());

    QSignalSpy openSpy(&dev, &VSerial::changeOpenClose);
    QSignalSpy baudSpy(&dev, &VSerial::changeBaudRate);
    QSignalSpy lineSpy(&dev, &VSerial::changeLineControl);
    QSignalSpy readSpy(&dev, &VSerial::readyRead);

    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM5")));
    QTRY_COMPARE_WITH_TIMEOUT(last(openSpy), QList<QVariant> { true }, kWait);
    QVERIFY(dev.isOpened());

    QVERIFY(app.setLine(9600, 8, 0, 0));
    QTRY_VERIFY_WITH_TIMEOUT(!baudSpy.isEmpty() && last(baudSpy) == QList<QVariant> { 9600 }, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(last(lineSpy) == (QList<QVariant> { 0, 0, 8 }), kWait);

    QCOMPARE(app.write("FA;"), qint64(3));
    QTRY_VERIFY_WITH_TIMEOUT(!readSpy.isEmpty(), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(dev.bytesAvailable(), qint64(3), kWait);
    QCOMPARE(dev.read(100), QByteArray("FA;"));
    QCOMPARE(dev.bytesAvailable(), qint64(0));

    QCOMPARE(dev.write("FA00014074000;"), qint64(14));
    QCOMPARE(app.read(100, kWait), QByteArray("FA00014074000;"));

    app.close();
    QTRY_COMPARE_WITH_TIMEOUT(last(openSpy), QList<QVariant> { false }, kWait);
    QVERIFY(!dev.isOpened());
}

void TestVSerial::rigctlOpensThePort()
{
    const QString rigctl = QStandardPaths::findExecutable(QStringLiteral("rigctl"));
    if (rigctl.isEmpty())
        QSKIP("rigctl (libhamlib-utils) is not installed");

    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM5")));
    QVERIFY(dev.open(QIODevice::ReadWrite));
    QSignalSpy openSpy(&dev, &VSerial::changeOpenClose);
    QSignalSpy baudSpy(&dev, &VSerial::changeBaudRate);
    QSignalSpy lineSpy(&dev, &VSerial::changeLineControl);
    QByteArray written;
    connect(&dev, &VSerial::readyRead, this, [&] { written += dev.readAll(); });

    // No radio answers: rigctl gives up after its short time-out.
    QProcess proc;
    proc.setProcessChannelMode(QProcess::MergedChannels);
    proc.start(rigctl,
        { QStringLiteral("-m"), QStringLiteral("2014"), QStringLiteral("-r"),
            VSPortBus::directory() + QStringLiteral("/COM5"), QStringLiteral("-s"), QStringLiteral("9600"),
            QStringLiteral("--set-conf=timeout=100,retry=0"), QStringLiteral("f") });
    QVERIFY(proc.waitForStarted());

    QTRY_VERIFY_WITH_TIMEOUT(openSpy.contains(QList<QVariant> { true }), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(baudSpy.contains(QList<QVariant> { 9600 }), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(lineSpy.contains(QList<QVariant>({ 0, 0, 8 })), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(written.endsWith(';'), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(proc.state(), QProcess::NotRunning, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(last(openSpy), QList<QVariant> { false }, kWait);
}

void TestVSerial::createExistingThenAttach()
{
    VSerial first;
    QVERIFY(first.createPort(QStringLiteral("COM6")));

    QSignalSpy firstBaud(&first, &VSerial::changeBaudRate);
    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM6")));
    QVERIFY(app.setLine(19200, 8, 0, 2));
    QVERIFY(app.setRts(true));
    QTRY_COMPARE_WITH_TIMEOUT(first.isOpened(), true, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(first.readRts(), 1, kWait);
    // The port's watcher sees the new settings a moment after the open.
    QTRY_VERIFY_WITH_TIMEOUT(!firstBaud.isEmpty() && firstBaud.constLast().at(0).toInt() == 19200, kWait);

    VSerial second;
    QVERIFY(!second.createPort(QStringLiteral("COM6")));
    QVERIFY(second.portName().isEmpty());

    QStringList order;
    QList<QVariant> baud, line;
    bool rts = false, dtr = true;
    connect(&second, &VSerial::changeOpenClose, this,
        [&](bool on) { order << QStringLiteral("open%1").arg(on); });
    connect(&second, &VSerial::changeBaudRate, this, [&](int b) {
        order << QStringLiteral("baud");
        baud << b;
    });
    connect(&second, &VSerial::changeDTR, this, [&](bool on) {
        order << QStringLiteral("dtr");
        dtr = on;
    });
    connect(&second, &VSerial::changeRTS, this, [&](bool on) {
        order << QStringLiteral("rts");
        rts = on;
    });
    connect(&second, &VSerial::changeLineControl, this, [&](int s, int p, int d) {
        order << QStringLiteral("line");
        line = { s, p, d };
    });
    QVERIFY(second.attachPort(QStringLiteral("COM6")));
    QCOMPARE(second.portName(), QStringLiteral("COM6"));
    QCOMPARE(order,
        (QStringList { QStringLiteral("open1"), QStringLiteral("baud"), QStringLiteral("dtr"),
            QStringLiteral("rts"), QStringLiteral("line") }));
    QCOMPARE(baud, QList<QVariant> { 19200 });
    QCOMPARE(line, (QList<QVariant> { 2, 0, 8 }));
    QVERIFY(rts);
    QVERIFY(!dtr);
}

void TestVSerial::attachWithoutProgramEmitsNothing()
{
    VSerial first;
    QVERIFY(first.createPort(QStringLiteral("COM7")));
    VSerial second;
    QSignalSpy openSpy(&second, &VSerial::changeOpenClose);
    QSignalSpy baudSpy(&second, &VSerial::changeBaudRate);
    QVERIFY(second.attachPort(QStringLiteral("COM7")));
    QCOMPARE(openSpy.count(), 0);
    QCOMPARE(baudSpy.count(), 0);
    QVERIFY(!second.attachPort(QStringLiteral("COM8")));
    QVERIFY(second.portName().isEmpty());
}

void TestVSerial::deleteKeepsName()
{
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM9")));
    const QString link = VSPortBus::directory() + QStringLiteral("/COM9");
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(VSerial::countVirtualPorts(), 1);
    QVERIFY(dev.deletePort());
    QCOMPARE(dev.portName(), QStringLiteral("COM9"));
    QVERIFY(!QFileInfo(link).exists() && !QFileInfo(link).isSymLink());
    QCOMPARE(VSerial::countVirtualPorts(), 0);
    QCOMPARE(dev.deletePort(), false);
    // The name is free again.
    QVERIFY(dev.createPort(QStringLiteral("COM9")));
}

void TestVSerial::goodPortNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("canonical");
    QTest::newRow("COM1") << QStringLiteral("COM1") << QStringLiteral("COM1");
    QTest::newRow("COM254") << QStringLiteral("COM254") << QStringLiteral("COM254");
    QTest::newRow("COM255") << QStringLiteral("COM255") << QStringLiteral("COM255");
    QTest::newRow("lower case") << QStringLiteral("com12") << QStringLiteral("COM12");
}

void TestVSerial::goodPortNames()
{
    QFETCH(QString, name);
    QFETCH(QString, canonical);
    VSerial dev;
    QVERIFY(dev.createPort(name));
    QCOMPARE(dev.portName(), name);
    QVERIFY(QFileInfo(VSPortBus::directory() + QLatin1Char('/') + canonical).isSymLink());
    QVERIFY(dev.deletePort());
}

void TestVSerial::badPortNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("COM0") << QStringLiteral("COM0");
    QTest::newRow("COM256") << QStringLiteral("COM256");
    QTest::newRow("leading zero") << QStringLiteral("COM07");
    QTest::newRow("path") << QStringLiteral("../COM1");
    QTest::newRow("slash") << QStringLiteral("COM1/x");
    QTest::newRow("LPT1") << QStringLiteral("LPT1");
}

void TestVSerial::badPortNames()
{
    QFETCH(QString, name);
    VSerial dev;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^VSPortAx: cannot create")));
    QVERIFY(!dev.createPort(name));
    QVERIFY(dev.portName().isEmpty());
    QCOMPARE(VSerial::countVirtualPorts(), 0);
}

void TestVSerial::readWithNothingAndReset()
{
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM10")));
    QVERIFY(dev.open(QIODevice::ReadWrite));
    QCOMPARE(dev.read(10), QByteArray());

    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM10")));
    QCOMPARE(app.write(QByteArray(500, 'a')), qint64(500));
    QTRY_COMPARE_WITH_TIMEOUT(dev.bytesAvailable(), qint64(500), kWait);
    QVERIFY(dev.reset());
    QCOMPARE(dev.bytesAvailable(), qint64(0));
    QCOMPARE(dev.read(10), QByteArray());
}

void TestVSerial::writeToClosedPortIsRefused()
{
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM11")));
    QVERIFY(dev.open(QIODevice::ReadWrite));
    // Nobody holds the port: the bytes are refused, not kept for later.
    QCOMPARE(dev.write("stale"), qint64(0));

    QSignalSpy openSpy(&dev, &VSerial::changeOpenClose);
    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM11")));
    QTRY_COMPARE_WITH_TIMEOUT(last(openSpy), QList<QVariant> { true }, kWait);
    QCOMPARE(app.read(100, 200), QByteArray());
    QCOMPARE(dev.write("fresh"), qint64(5));
    QCOMPARE(app.read(100, kWait), QByteArray("fresh"));
}

void TestVSerial::modemLines()
{
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM12")));
    QSignalSpy rtsSpy(&dev, &VSerial::changeRTS);
    QSignalSpy dtrSpy(&dev, &VSerial::changeDTR);
    QSignalSpy breakSpy(&dev, &VSerial::changeBreak);

    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM12")));
    // A pty has no modem lines: released until the program side drives them.
    QCOMPARE(dev.readRts(), 0);
    QCOMPARE(dev.readDtr(), 0);
    QVERIFY(app.setRts(true));
    QVERIFY(app.setDtr(true));
    QVERIFY(app.setBreak(true));
    QCOMPARE(dev.readRts(), 1);
    QCOMPARE(dev.readDtr(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(last(rtsSpy), QList<QVariant> { true }, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(last(dtrSpy), QList<QVariant> { true }, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(last(breakSpy), QList<QVariant> { true }, kWait);

    QVERIFY(dev.setCTS(true));
    QVERIFY(dev.setDSR(true));
    QVERIFY(dev.setDCD(true));
    QVERIFY(app.cts() && app.dsr() && app.dcd());
    QVERIFY(dev.setCTS(false));
    QVERIFY(!app.cts());

    // Closing drops the lines.
    app.close();
    QCOMPARE(dev.readRts(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(last(rtsSpy), QList<QVariant> { false }, kWait);

    VSerial unbound;
    QCOMPARE(unbound.setCTS(true), false);
}

void TestVSerial::lineReadsFromAnotherThread()
{
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM13")));
    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM13")));

    std::atomic<bool> stop { false };
    std::atomic<int> seenHigh { 0 };
    std::thread sampler([&] {
        while (!stop.load()) {
            if (dev.readRts() && dev.readDtr())
                ++seenHigh;
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 2000; ++i) {
        app.setRts(i % 2 == 0);
        app.setDtr(i % 2 == 0);
        if (i % 100 == 0) {
            // Rebinding the component while the sampler reads.
            VSerial other;
            QVERIFY(other.attachPort(QStringLiteral("COM13")));
        }
    }
    app.setRts(true);
    app.setDtr(true);
    QTRY_VERIFY_WITH_TIMEOUT(seenHigh.load() > 0, kWait);
    stop.store(true);
    sampler.join();
}

void TestVSerial::classOperations()
{
    VSerial a, b;
    QVERIFY(a.createPort(QStringLiteral("COM14")));
    QVERIFY(b.createPort(QStringLiteral("com15")));
    QCOMPARE(VSerial::countVirtualPorts(), 2);
    QCOMPARE(VSerial::enumVirtualPort(0), QStringLiteral("COM14"));
    QCOMPARE(VSerial::enumVirtualPort(1), QStringLiteral("COM15"));
    QCOMPARE(VSerial::enumVirtualPort(2), QString());
    QCOMPARE(VSerial::enumVirtualPort(-1), QString());

    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM14")));
    QVERIFY(VSerial::resetBus());
    QCOMPARE(VSerial::countVirtualPorts(), 0);
    QVERIFY(!QFileInfo(VSPortBus::directory() + QStringLiteral("/COM14")).isSymLink());
    // The program still holding the slave sees the port gone.
    QVERIFY(!a.isOpened());
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (morvex::VSerial): device not open");
    QCOMPARE(a.write("x"), qint64(-1));
    QVERIFY(a.open(QIODevice::ReadWrite));
    QCOMPARE(a.write("x"), qint64(0));
}

void TestVSerial::oddBaudRates_data()
{
    QTest::addColumn<int>("baud");
    QTest::newRow("12345") << 12345;
    QTest::newRow("250000") << 250000;
    QTest::newRow("4000000") << 4000000;
    QTest::newRow("50") << 50;
}

void TestVSerial::oddBaudRates()
{
    QFETCH(int, baud);
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM16")));
    QSignalSpy baudSpy(&dev, &VSerial::changeBaudRate);
    QSignalSpy lineSpy(&dev, &VSerial::changeLineControl);
    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM16")));
    // Framing a pty cannot keep (7 data bits, parity) reads back as 8N.
    QVERIFY(app.setLine(baud, 7, 2, 2));
    QTRY_COMPARE_WITH_TIMEOUT(last(baudSpy), QList<QVariant> { baud }, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(last(lineSpy), (QList<QVariant> { 2, 0, 8 }), kWait);
}

void TestVSerial::settingsSeenWithoutPacketReports()
{
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM20")));
    QSignalSpy baudSpy(&dev, &VSerial::changeBaudRate);
    QSignalSpy openSpy(&dev, &VSerial::changeOpenClose);
    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM20")));
    // A program that clears EXTPROC switches off the master's settings
    // reports; changes must still be seen.
    struct termios t
    {
    };
    QCOMPARE(tcgetattr(app.fd(), &t), 0);
    t.c_lflag &= ~tcflag_t(EXTPROC);
    QCOMPARE(tcsetattr(app.fd(), TCSANOW, &t), 0);
    QVERIFY(app.setLine(2400));
    QTRY_COMPARE_WITH_TIMEOUT(last(baudSpy), QList<QVariant> { 2400 }, kWait);
    QCOMPARE(tcgetattr(app.fd(), &t), 0);
    QCOMPARE(t.c_lflag & EXTPROC, tcflag_t(0));
    QVERIFY(app.setLine(57600));
    QTRY_COMPARE_WITH_TIMEOUT(last(baudSpy), QList<QVariant> { 57600 }, kWait);

    // The next program gets the reports back.
    app.close();
    QTRY_COMPARE_WITH_TIMEOUT(last(openSpy), QList<QVariant> { false }, kWait);
    QVERIFY(app.open(QStringLiteral("COM20")));
    QCOMPARE(tcgetattr(app.fd(), &t), 0);
    QVERIFY(t.c_lflag & EXTPROC);
    QVERIFY(app.setLine(1200));
    QTRY_COMPARE_WITH_TIMEOUT(last(baudSpy), QList<QVariant> { 1200 }, kWait);
}

void TestVSerial::megabytesArriveInOrder()
{
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM17")));
    QVERIFY(dev.open(QIODevice::ReadWrite));
    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM17")));

    QByteArray sent(3 * 1024 * 1024, '\0');
    for (int i = 0; i < sent.size(); ++i)
        sent[i] = char((i * 7 + i / 251) & 0xFF);
    std::atomic<qint64> written { -1 };
    std::thread writer([&] { written.store(app.write(sent, 60000)); });

    QByteArray got;
    qint64 peak = 0;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < sent.size() && timer.elapsed() < 60000) {
        peak = qMax(peak, dev.bytesAvailable());
        const QByteArray chunk = dev.read(4096);
        if (chunk.isEmpty())
            QTest::qWait(1);
        got += chunk;
    }
    writer.join();
    QCOMPARE(written.load(), qint64(sent.size()));
    QCOMPARE(got.size(), sent.size());
    QVERIFY(got == sent);
    // The watcher holds back instead of buffering without bound.
    QVERIFY(peak <= 64 * 1024);
}

void TestVSerial::resetWhileProgramKeepsWriting()
{
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM19")));
    QVERIFY(dev.open(QIODevice::ReadWrite));
    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM19")));
    std::atomic<bool> stop { false };
    std::thread writer([&] {
        const QByteArray block(4096, 'w');
        while (!stop.load())
            app.write(block, 50);
    });
    QTRY_VERIFY_WITH_TIMEOUT(dev.bytesAvailable() > 0, kWait);
    // Returns although the input never runs dry.
    QVERIFY(dev.reset());
    stop.store(true);
    writer.join();
}

void TestVSerial::openCloseLoop()
{
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM18")));
    QVERIFY(dev.open(QIODevice::ReadWrite));
    QSignalSpy openSpy(&dev, &VSerial::changeOpenClose);
    for (int i = 0; i < 200; ++i) {
        VSPortClient app;
        QVERIFY(app.open(QStringLiteral("COM18")));
        if (i % 3 == 0)
            app.write("x");
    }
    QTRY_VERIFY_WITH_TIMEOUT(!openSpy.isEmpty() && last(openSpy) == QList<QVariant> { false }, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!dev.isOpened(), kWait);
    int opens = 0, closes = 0;
    for (const QList<QVariant> &e : qAsConst(openSpy))
        (e.at(0).toBool() ? opens : closes)++;
    QVERIFY(opens >= 1);
    QCOMPARE(opens, closes);

    // Still works afterwards.
    VSPortClient app;
    QVERIFY(app.open(QStringLiteral("COM18")));
    QTRY_COMPARE_WITH_TIMEOUT(last(openSpy), QList<QVariant> { true }, kWait);
    QCOMPARE(dev.write("ok"), qint64(2));
    QCOMPARE(app.read(10, kWait), QByteArray("ok"));
}

void TestVSerial::firstBytesAreAnswered()
{
    // A program opens the port and asks at once (a keyer's host open): the
    // answer, given as soon as the question is seen, must reach it even when
    // the question arrived before the port noticed the program.
    VSerial dev;
    QVERIFY(dev.createPort(QStringLiteral("COM19")));
    QVERIFY(dev.open(QIODevice::ReadWrite));
    const std::shared_ptr<VSPortPty> pty = VSPortBus::instance().find(QStringLiteral("COM19"));
    QVERIFY(pty);
    QSignalSpy openSpy(&dev, &VSerial::changeOpenClose);
    // Answered on the port's own thread, the earliest any listener can.
    connect(
        pty.get(), &VSPortPty::rxChar, pty.get(),
        [p = pty.get()](int) { p->writeArray(p->readArray(64).toUpper()); }, Qt::DirectConnection);
    for (int i = 0; i < 50; ++i) {
        {
            VSPortClient app;
            QVERIFY(app.open(QStringLiteral("COM19")));
            QCOMPARE(app.write("q"), qint64(1));
            QVERIFY2(app.read(1, kWait) == "Q", qPrintable(QStringLiteral("round %1").arg(i)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!openSpy.isEmpty() && last(openSpy) == QList<QVariant> { false }, kWait);
        openSpy.clear();
    }
}

void TestVSerial::overlongComponentAnswerIsCut()
{
    VSerial dev(new BrokenComponent);
    QVERIFY(dev.isLoaded());
    QVERIFY(dev.open(QIODevice::ReadWrite));
    QByteArray buf(16, 'g');
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("component returned 108 bytes for 8")));
    QCOMPARE(dev.read(buf.data(), 8), qint64(8));
    QCOMPARE(buf, QByteArray(8, 'x') + QByteArray(8, 'g'));
}

void TestVSerial::nonNumericLineReadWarns()
{
    VSerial dev(new BrokenComponent);
    QTest::ignoreMessage(QtWarningMsg, "RTS read error in \"\"");
    QCOMPARE(dev.readRts(), 0);
    QTest::ignoreMessage(QtWarningMsg, "DTR read error in \"\"");
    QCOMPARE(dev.readDtr(), 0);
}

QTEST_GUILESS_MAIN(TestVSerial)
#include "tst_vserial.moc"
