#include "client/link/authorization.h"
#include "client/link/clientrif.h"
#include "client/link/packetmngr.h"
#include "client/link/ptt.h"
#include "client/link/serial.h"
#include "client/ports/vserial.h"
#include "platform/vsportpty.h"
#include "platform/vsporttermios.h"
#include "tests/support/simprocess.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace morvex;

namespace {

constexpr int kWait = 20000;

QString portPath(const QString &name)
{
    return QDir(qEnvironmentVariable("VSPORT_DIR")).filePath(name);
}

speed_t speedConstant(int baud)
{
    switch (baud) {
    case 110:
        return B110;
    case 300:
        return B300;
    case 1200:
        return B1200;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 115200:
        return B115200;
    case 921600:
        return B921600;
    default:
        return B0;
    }
}

quint64 fnv1a(const QByteArray &bytes)
{
    quint64 h = 14695981039346656037ULL;
    for (const char c : bytes) {
        h ^= quint64(static_cast<unsigned char>(c));
        h *= 1099511628211ULL;
    }
    return h;
}

QString hashText(const QByteArray &bytes)
{
    return QStringLiteral("%1").arg(fnv1a(bytes), 16, 16, QLatin1Char('0'));
}

// A local serial program: opens the published port path and talks termios,
// as rigctl or a logging program would.
class LocalProgram
{
public:
    ~LocalProgram() { close(); }

    bool open(const QString &name, int baud = 9600, int stopBits = 1)
    {
        close();
        m_fd = ::open(
            QFile::encodeName(portPath(name)).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return m_fd >= 0 && setLine(baud, stopBits);
    }

    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    int fd() const { return m_fd; }

    bool setLine(int baud, int stopBits = 1)
    {
        const speed_t s = speedConstant(baud);
        if (s == B0)
            // No Bxxx constant: set the rate as such, as programs do with termios2.
            return vsportWriteLine(m_fd, baud, 8, 0, stopBits == 2 ? 2 : 0);
        termios t {};
        if (::tcgetattr(m_fd, &t) != 0)
            return false;
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~CSTOPB;
        if (stopBits == 2)
            t.c_cflag |= CSTOPB;
        ::cfsetispeed(&t, s);
        ::cfsetospeed(&t, s);
        return ::tcsetattr(m_fd, TCSANOW, &t) == 0;
    }

    // Writes everything and reads `expect` bytes back, keeping the event loop
    // of the client in this process turning meanwhile.
    QByteArray transfer(const QByteArray &out, int expect, int timeoutMs = kWait)
    {
        QByteArray in;
        int sent = 0;
        QDeadlineTimer deadline(timeoutMs);
        while ((sent < out.size() || in.size() < expect) && !deadline.hasExpired()) {
            if (sent < out.size()) {
                const ssize_t n
                    = ::write(m_fd, out.constData() + sent, size_t(qMin(4096, out.size() - sent)));
                if (n > 0)
                    sent += int(n);
            }
            char buf[4096];
            const ssize_t r = ::read(m_fd, buf, sizeof buf);
            if (r > 0)
                in.append(buf, int(r));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pollfd p { m_fd, short(POLLIN | (sent < out.size() ? POLLOUT : 0)), 0 };
            ::poll(&p, 1, 2);
        }
        return in;
    }

    // Reads until `terminator` ends the input or the time is up.
    QByteArray readUntil(const QByteArray &terminator, int timeoutMs = kWait)
    {
        QByteArray in;
        QDeadlineTimer deadline(timeoutMs);
        while (!in.endsWith(terminator) && !deadline.hasExpired()) {
            char c;
            if (::read(m_fd, &c, 1) == 1) {
                in.append(c);
                continue;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pollfd p { m_fd, POLLIN, 0 };
            ::poll(&p, 1, 2);
        }
        return in;
    }

private:
    int m_fd = -1;
};

QByteArray pattern(int size, int seed)
{
    QByteArray b(size, '\0');
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        b[i] = char(x >> 24);
    }
    return b;
}

} // namespace

// The client's tunnels on real virtual ports, over a real TCP link to the
// simulated box, with real local programs (rigctl, termios) on the ports.
class TestTunnelE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void rigctlReadsAndSetsFrequency();
    void rigctlCommands_data();
    void rigctlCommands();
    void loopBack_data();
    void loopBack();
    void lineWords();
    void oddBaudRates_data();
    void oddBaudRates();
    void windowBoundsSending();
    void windowZeroStopsSending();
    void catFloodIsFlowControlled();
    void openCloseLoop();
    void commandsOfClosedProgramStayWithIt();
    void frameForClosedPort();

private:
    QMap<QString, QString> tunnel(const QString &name);
    QMap<QString, QString> radio();
    QString rigctl(const QStringList &args, bool *ok);
    Serial *handler(const QString &name);
    VSerial *device(const QString &name);

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<PacketMngr> m_mngr;
    std::unique_ptr<ClientRIF> m_client;
    std::unique_ptr<Authorization> m_auth;
    std::unique_ptr<PTT> m_ptt;
    std::unique_ptr<VSerial> m_dev[3];
    std::unique_ptr<Serial> m_serial[3];
};

namespace {
const char *const kPortNames[3] = { "COM5", "COM6", "COM7" };
const char *const kTunnelNames[3] = { "cat", "fsk", "rs485" };

QMap<QString, QString> keyValues(const QString &line)
{
    static const QRegularExpression pair(QStringLiteral("(\\w+)=(\\S*)"));
    QMap<QString, QString> out;
    auto it = pair.globalMatch(line);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out.insert(m.captured(1), m.captured(2));
    }
    return out;
}
} // namespace

Serial *TestTunnelE2e::handler(const QString &name)
{
    for (int i = 0; i < 3; ++i) {
        if (name == QLatin1String(kTunnelNames[i]))
            return m_serial[i].get();
    }
    return nullptr;
}

VSerial *TestTunnelE2e::device(const QString &name)
{
    for (int i = 0; i < 3; ++i) {
        if (name == QLatin1String(kTunnelNames[i]))
            return m_dev[i].get();
    }
    return nullptr;
}

QMap<QString, QString> TestTunnelE2e::tunnel(const QString &name)
{
    bool ok = false;
    const QStringList lines = m_sim->command(QStringLiteral("tunnel ") + name, &ok);
    return ok && lines.size() == 1 ? keyValues(lines.first()) : QMap<QString, QString>();
}

QMap<QString, QString> TestTunnelE2e::radio()
{
    bool ok = false;
    const QStringList lines = m_sim->command(QStringLiteral("radio"), &ok);
    return ok && lines.size() == 1 ? keyValues(lines.first()) : QMap<QString, QString>();
}

QString TestTunnelE2e::rigctl(const QStringList &args, bool *ok)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("rigctl"),
        QStringList { QStringLiteral("-m"), QStringLiteral("2014"), QStringLiteral("-r"),
            portPath(QStringLiteral("COM5")), QStringLiteral("-s"), QStringLiteral("9600") }
            + args);
    *ok = false;
    if (!p.waitForStarted(kWait))
        return QStringLiteral("rigctl did not start: ") + p.errorString();
    // The client runs in this process: keep its event loop turning.
    QDeadlineTimer deadline(60000);
    while (p.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(10);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return QStringLiteral("rigctl hung");
    }
    *ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return QString::fromLocal8Bit(p.readAll()).trimmed();
}

void TestTunnelE2e::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("rigctl")).isEmpty())
        QSKIP("rigctl (libhamlib-utils) is not installed");
    QVERIFY(VSerial::isAvailable());

    m_sim = std::make_unique<SimProcess>();
    QVERIFY2(m_sim->start(), qPrintable(m_sim->lastError()));

    m_mngr = std::make_unique<PacketMngr>();
    m_auth = std::make_unique<Authorization>();
    m_auth->setPassword(QStringLiteral("brelko"));
    m_ptt = std::make_unique<PTT>();
    m_mngr->registerPacket(m_auth.get());
    m_mngr->registerPacket(m_ptt.get());
    const quint8 types[3] = { PacketType::SerialCat, PacketType::SerialFsk, PacketType::SerialRs485 };
    for (int i = 0; i < 3; ++i) {
        m_dev[i] = std::make_unique<VSerial>();
        QVERIFY(m_dev[i]->createPort(QLatin1String(kPortNames[i])));
        QVERIFY(m_dev[i]->open(QIODevice::ReadWrite));
        m_serial[i] = std::make_unique<Serial>(types[i]);
        m_serial[i]->setPort(m_dev[i].get());
        m_serial[i]->setPermitted(true);
        m_mngr->registerPacket(m_serial[i].get());
    }
    m_client = std::make_unique<ClientRIF>();
    m_client->setServer(QHostAddress(QHostAddress::LocalHost), m_sim->tcpPort());
    m_client->setPacketManager(m_mngr.get());
    m_client->connectToServer();
    QTRY_VERIFY_WITH_TIMEOUT(m_client->isConnected(), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->statusValue(QStringLiteral("loggedin")), 1, kWait);
}

void TestTunnelE2e::cleanupTestCase()
{
    if (m_client)
        m_client->disconnectFromServer();
    m_client.reset();
    for (int i = 0; i < 3; ++i) {
        if (m_serial[i])
            m_serial[i]->setPort(nullptr);
        m_serial[i].reset();
        m_dev[i].reset();
    }
    VSerial::resetBus();
    m_mngr.reset();
    if (m_sim)
        m_sim->stop();
}

void TestTunnelE2e::init()
{
    for (const char *name : kTunnelNames) {
        QVERIFY(m_sim->run(QStringLiteral("tunnel %1 clear").arg(QLatin1String(name))));
        QVERIFY(m_sim->run(QStringLiteral("tunnel %1 hold off").arg(QLatin1String(name))));
        QVERIFY(m_sim->run(QStringLiteral("tunnel %1 window auto 256").arg(QLatin1String(name))));
    }
    QVERIFY(m_sim->run(QStringLiteral("radio reset")));
}

void TestTunnelE2e::cleanup()
{
    if (QTest::currentTestFailed())
        qWarning().noquote() << m_sim->log().right(6000);
    // One connection serves every test: it must still be up.
    QVERIFY(m_client->isConnected());
    QCOMPARE(m_sim->statusValue(QStringLiteral("connections")), 1);
}

void TestTunnelE2e::rigctlReadsAndSetsFrequency()
{
    QVERIFY(m_sim->run(QStringLiteral("radio freq 14250000")));
    bool ok = false;
    QString out = rigctl({ QStringLiteral("f") }, &ok);
    QVERIFY2(ok, qPrintable(out));
    QCOMPARE(out, QStringLiteral("14250000"));

    out = rigctl({ QStringLiteral("F"), QStringLiteral("14074000") }, &ok);
    QVERIFY2(ok, qPrintable(out));
    QCOMPARE(radio().value(QStringLiteral("freq")), QStringLiteral("14074000"));

    out = rigctl({ QStringLiteral("f") }, &ok);
    QVERIFY2(ok, qPrintable(out));
    QCOMPARE(out, QStringLiteral("14074000"));

    // What rigctl asked on the way, as the radio and the tunnel saw it.
    const QStringList commands = m_sim->command(QStringLiteral("radio commands"));
    for (const char *c : { "ID", "PS", "IF", "AI", "FA", "FA00014074000" })
        QVERIFY2(commands.contains(QStringLiteral("cmd ") + QLatin1String(c)), c);
    QString rx;
    for (const QString &l : m_sim->command(QStringLiteral("tunnel cat traffic"))) {
        if (l.startsWith(QLatin1String("rx ")))
            rx += l.section(QLatin1Char(' '), 3);
    }
    QVERIFY(rx.contains(QString::fromLatin1(QByteArray("FA00014074000;").toHex())));
    const auto cat = tunnel(QStringLiteral("cat"));
    QCOMPARE(cat.value(QStringLiteral("baud")), QStringLiteral("9600"));
    QCOMPARE(cat.value(QStringLiteral("format")), QStringLiteral("8N1"));
    QCOMPARE(cat.value(QStringLiteral("overrun")), QStringLiteral("0"));
}

void TestTunnelE2e::rigctlCommands_data()
{
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("state");

    QTest::newRow("read mode") << QStringLiteral("radio mode CW") << QStringList { QStringLiteral("m") }
                               << QStringLiteral("CW") << QStringLiteral("mode=3");
    QTest::newRow("set mode") << QString()
                              << QStringList { QStringLiteral("M"), QStringLiteral("LSB"),
                                     QStringLiteral("0") }
                              << QString() << QStringLiteral("mode=1");
    QTest::newRow("transmit") << QString() << QStringList { QStringLiteral("T"), QStringLiteral("1") }
                              << QString() << QStringLiteral("tx=1");
    QTest::newRow("transmit state") << QString()
                                    << QStringList { QStringLiteral("T"), QStringLiteral("1"),
                                           QStringLiteral("t") }
                                    << QStringLiteral("1") << QStringLiteral("tx=1");
    QTest::newRow("VFO B") << QStringLiteral("radio freqb 7012345")
                           << QStringList { QStringLiteral("V"), QStringLiteral("VFOB"), QStringLiteral("f") }
                           << QStringLiteral("7012345") << QStringLiteral("rxvfo=1");
}

void TestTunnelE2e::rigctlCommands()
{
    QFETCH(QString, preset);
    QFETCH(QStringList, args);
    QFETCH(QString, output);
    QFETCH(QString, state);

    if (!preset.isEmpty())
        QVERIFY(m_sim->run(preset));
    bool ok = false;
    const QString out = rigctl(args, &ok);
    QVERIFY2(ok, qPrintable(out));
    if (!output.isEmpty())
        QCOMPARE(out.section(QLatin1Char('\n'), 0, 0), output);
    const QStringList kv = state.split(QLatin1Char('='));
    QCOMPARE(radio().value(kv.at(0)), kv.at(1));
}

void TestTunnelE2e::loopBack_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");

    for (int i : { 1, 2 }) {
        for (int size : { 1, 300, 100000 }) {
            QTest::addRow("%s %d", kTunnelNames[i], size)
                << QString::fromLatin1(kPortNames[i]) << QString::fromLatin1(kTunnelNames[i]) << size;
        }
    }
}

void TestTunnelE2e::loopBack()
{
    QFETCH(QString, port);
    QFETCH(QString, name);
    QFETCH(int, size);

    LocalProgram program;
    QVERIFY(program.open(port));
    QTRY_VERIFY_WITH_TIMEOUT(handler(name)->isOpen(), kWait);
    const QByteArray data = pattern(size, size);
    const QByteArray back = program.transfer(data, data.size(), 60000);
    QCOMPARE(back.size(), data.size());
    QVERIFY(back == data);
    const auto t = tunnel(name);
    QCOMPARE(t.value(QStringLiteral("rx")).toInt(), size);
    QCOMPARE(t.value(QStringLiteral("rxhash")), hashText(data));
    QCOMPARE(t.value(QStringLiteral("txhash")), hashText(data));
}

void TestTunnelE2e::lineWords()
{
    LocalProgram program;
    QVERIFY(program.open(QStringLiteral("COM6"), 9600));
    QTRY_VERIFY_WITH_TIMEOUT(handler(QStringLiteral("fsk"))->isOpen(), kWait);
    // Line settings travel with data only.
    QCOMPARE(program.transfer("a", 1), QByteArray("a"));
    QVERIFY(program.setLine(4800));
    QTRY_COMPARE_WITH_TIMEOUT(handler(QStringLiteral("fsk"))->baudRate(), 4800, kWait);
    QCOMPARE(program.transfer("b", 1), QByteArray("b"));
    QVERIFY(program.setLine(4800, 2));
    QTRY_COMPARE_WITH_TIMEOUT(handler(QStringLiteral("fsk"))->stopBits(), 2, kWait);
    QCOMPARE(program.transfer("c", 1), QByteArray("c"));

    const QStringList lines = m_sim->command(QStringLiteral("tunnel fsk lines"));
    QStringList seen;
    for (const QString &l : lines) {
        const auto kv = keyValues(l);
        QCOMPARE(kv.value(QStringLiteral("open")), QStringLiteral("1"));
        seen << kv.value(QStringLiteral("baud")) + QLatin1Char(' ') + kv.value(QStringLiteral("format"));
    }
    QCOMPARE(seen, QStringList({ "9600 8N1", "4800 8N1", "4800 8N2" }));
    const auto first = keyValues(lines.first());
    QCOMPARE(first.value(QStringLiteral("word")),
        QStringLiteral("0x%1").arg((9600u << 10) | 0x11u, 8, 16, QLatin1Char('0')));
}

void TestTunnelE2e::oddBaudRates_data()
{
    QTest::addColumn<int>("baud");
    for (int b : { 110, 300, 12345, 115200, 250000, 921600, 4000000 })
        QTest::addRow("%d", b) << b;
}

void TestTunnelE2e::oddBaudRates()
{
    QFETCH(int, baud);
    LocalProgram program;
    QVERIFY(program.open(QStringLiteral("COM7"), baud));
    QTRY_VERIFY_WITH_TIMEOUT(handler(QStringLiteral("rs485"))->isOpen(), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(handler(QStringLiteral("rs485"))->baudRate(), baud, kWait);
    QCOMPARE(program.transfer("x", 1), QByteArray("x"));
    const auto t = tunnel(QStringLiteral("rs485"));
    QCOMPARE(t.value(QStringLiteral("baud")).toInt(), baud);
    QCOMPARE(t.value(QStringLiteral("open")), QStringLiteral("1"));
}

void TestTunnelE2e::windowBoundsSending()
{
    Serial *fsk = handler(QStringLiteral("fsk"));
    VSerial *dev = device(QStringLiteral("fsk"));
    LocalProgram program;
    QVERIFY(program.open(QStringLiteral("COM6")));
    QTRY_VERIFY_WITH_TIMEOUT(fsk->isOpen(), kWait);
    QCOMPARE(program.transfer("w", 1), QByteArray("w"));
    QVERIFY(m_sim->run(QStringLiteral("tunnel fsk clear")));

    QVERIFY(m_sim->run(QStringLiteral("tunnel fsk window 100")));
    QTRY_COMPARE_WITH_TIMEOUT(fsk->sendWindow(), 100u, kWait);
    const QByteArray data = pattern(300, 7);
    QByteArray back = program.transfer(data, 100);
    QCOMPARE(back, data.left(100));
    // The rest waits in the port: the client has used its window up.
    QTRY_COMPARE_WITH_TIMEOUT(dev->bytesAvailable(), qint64(200), kWait);
    QCOMPARE(fsk->sendWindow(), 0u);
    for (int i = 0; i < 3; ++i) {
        m_client->sendPackets();
        QCoreApplication::processEvents();
    }
    // A round trip on another tunnel proves the link carried what it had.
    LocalProgram rs485;
    QVERIFY(rs485.open(QStringLiteral("COM7")));
    QTRY_VERIFY_WITH_TIMEOUT(handler(QStringLiteral("rs485"))->isOpen(), kWait);
    QCOMPARE(rs485.transfer("r", 1), QByteArray("r"));
    auto t = tunnel(QStringLiteral("fsk"));
    QCOMPARE(t.value(QStringLiteral("rx")), QStringLiteral("100"));
    QCOMPARE(t.value(QStringLiteral("overrun")), QStringLiteral("0"));

    QVERIFY(m_sim->run(QStringLiteral("tunnel fsk window 100")));
    back += program.transfer(QByteArray(), 100);
    QTRY_COMPARE_WITH_TIMEOUT(dev->bytesAvailable(), qint64(100), kWait);
    QCOMPARE(tunnel(QStringLiteral("fsk")).value(QStringLiteral("rx")), QStringLiteral("200"));

    QVERIFY(m_sim->run(QStringLiteral("tunnel fsk window auto")));
    back += program.transfer(QByteArray(), 100);
    QCOMPARE(back, data);
    t = tunnel(QStringLiteral("fsk"));
    QCOMPARE(t.value(QStringLiteral("rx")), QStringLiteral("300"));
    QCOMPARE(t.value(QStringLiteral("overrun")), QStringLiteral("0"));
}

void TestTunnelE2e::windowZeroStopsSending()
{
    Serial *rs485 = handler(QStringLiteral("rs485"));
    VSerial *dev = device(QStringLiteral("rs485"));
    LocalProgram program;
    QVERIFY(program.open(QStringLiteral("COM7")));
    QTRY_VERIFY_WITH_TIMEOUT(rs485->isOpen(), kWait);

    QVERIFY(m_sim->run(QStringLiteral("tunnel rs485 window 0")));
    QTRY_COMPARE_WITH_TIMEOUT(rs485->sendWindow(), 0u, kWait);
    const QByteArray data = pattern(50, 3);
    QVERIFY(program.transfer(data, 0).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(dev->bytesAvailable(), qint64(50), kWait);
    m_client->sendPackets();
    LocalProgram fsk;
    QVERIFY(fsk.open(QStringLiteral("COM6")));
    QTRY_VERIFY_WITH_TIMEOUT(handler(QStringLiteral("fsk"))->isOpen(), kWait);
    QCOMPARE(fsk.transfer("f", 1), QByteArray("f"));
    QCOMPARE(tunnel(QStringLiteral("rs485")).value(QStringLiteral("rx")), QStringLiteral("0"));
    QCOMPARE(dev->bytesAvailable(), qint64(50));

    // A new window lets the held bytes go.
    QVERIFY(m_sim->run(QStringLiteral("tunnel rs485 window auto")));
    QCOMPARE(program.transfer(QByteArray(), 50), data);
    QCOMPARE(tunnel(QStringLiteral("rs485")).value(QStringLiteral("rx")), QStringLiteral("50"));
}

void TestTunnelE2e::catFloodIsFlowControlled()
{
    // Frequency settings (no answers) as fast as the program can write.
    QByteArray data;
    int commands = 0;
    quint64 last = 0;
    while (data.size() < 2 * 1024 * 1024) {
        last = 7000000 + quint64(commands % 200000);
        data += "FA" + QByteArray::number(last).rightJustified(11, '0') + ';';
        ++commands;
    }
    LocalProgram program;
    QVERIFY(program.open(QStringLiteral("COM5")));
    QTRY_VERIFY_WITH_TIMEOUT(handler(QStringLiteral("cat"))->isOpen(), kWait);
    QVERIFY(m_sim->run(QStringLiteral("radio commands clear")));
    QVERIFY(m_sim->run(QStringLiteral("tunnel cat hold on")));

    std::atomic<qint64> written { 0 };
    std::atomic<bool> stop { false };
    const int fd = program.fd();
    std::thread writer([&] {
        while (written < data.size() && !stop) {
            const qint64 at = written;
            const ssize_t n
                = ::write(fd, data.constData() + at, size_t(qMin<qint64>(65536, data.size() - at)));
            if (n > 0) {
                written += n;
                continue;
            }
            pollfd p { fd, POLLOUT, 0 };
            ::poll(&p, 1, 20);
        }
    });
    struct Join
    {
        std::thread &t;
        std::atomic<bool> &stop;
        ~Join()
        {
            stop = true;
            t.join();
        }
    } join { writer, stop };

    // Held: the box takes one window's worth and the rest backs up to the program.
    QTRY_COMPARE_WITH_TIMEOUT(
        tunnel(QStringLiteral("cat")).value(QStringLiteral("buffered")), QStringLiteral("256"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(
        device(QStringLiteral("cat"))->bytesAvailable() >= VSPortPty::kInputLimit / 2, kWait);
    QCOMPARE(tunnel(QStringLiteral("cat")).value(QStringLiteral("rx")), QStringLiteral("256"));
    QVERIFY(written < data.size());

    QVERIFY(m_sim->run(QStringLiteral("tunnel cat hold off")));
    QTRY_VERIFY_WITH_TIMEOUT(written == data.size(), 300000);
    QTRY_COMPARE_WITH_TIMEOUT(
        tunnel(QStringLiteral("cat")).value(QStringLiteral("rx")).toInt(), data.size(), 300000);
    const auto t = tunnel(QStringLiteral("cat"));
    QCOMPARE(t.value(QStringLiteral("rxhash")), hashText(data));
    const auto r = radio();
    QCOMPARE(r.value(QStringLiteral("commands")).toInt(), commands);
    QCOMPARE(r.value(QStringLiteral("dropped")), QStringLiteral("0"));
    QCOMPARE(r.value(QStringLiteral("freq")).toULongLong(), last);

    // And the port still answers normally.
    QCOMPARE(program.transfer("ID;", 6), QByteArray("ID019;"));
}

void TestTunnelE2e::openCloseLoop()
{
    Serial *cat = handler(QStringLiteral("cat"));
    for (int i = 0; i < 40; ++i) {
        LocalProgram program;
        QVERIFY(program.open(QStringLiteral("COM5"), i % 2 ? 4800 : 9600));
        if (i % 4 == 0) {
            QTRY_VERIFY_WITH_TIMEOUT(cat->isOpen(), kWait);
            // Answers to commands of a program that left earlier may come
            // first (see commandsOfClosedProgramStayWithIt).
            QVERIFY(::write(program.fd(), "ID;", 3) == 3);
            QVERIFY(program.readUntil("ID019;").endsWith("ID019;"));
        } else if (i % 4 == 1) {
            // Gone before the answer comes.
            QVERIFY(::write(program.fd(), "FA;", 3) == 3);
        }
    }
    QTRY_VERIFY_WITH_TIMEOUT(!cat->isOpen(), kWait);
    bool ok = false;
    const QString out = rigctl({ QStringLiteral("f") }, &ok);
    QVERIFY2(ok, qPrintable(out));
    QCOMPARE(out, QStringLiteral("14250000"));
}

void TestTunnelE2e::commandsOfClosedProgramStayWithIt()
{
    Serial *cat = handler(QStringLiteral("cat"));
    VSerial *dev = device(QStringLiteral("cat"));
    {
        LocalProgram program;
        QVERIFY(program.open(QStringLiteral("COM5")));
        QTRY_VERIFY_WITH_TIMEOUT(cat->isOpen(), kWait);
        QCOMPARE(program.transfer("ID;", 6), QByteArray("ID019;"));
        // A command written and left behind by a program that closes: the
        // box takes nothing meanwhile, so it is still in the port.
        QVERIFY(m_sim->run(QStringLiteral("tunnel cat window 0")));
        QTRY_COMPARE_WITH_TIMEOUT(cat->sendWindow(), 0u, kWait);
        QVERIFY(::write(program.fd(), "FA;", 3) == 3);
        QTRY_COMPARE_WITH_TIMEOUT(dev->bytesAvailable(), qint64(3), kWait);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!cat->isOpen(), kWait);
    QVERIFY(m_sim->run(QStringLiteral("tunnel cat window auto")));
    QTRY_VERIFY_WITH_TIMEOUT(cat->sendWindow() > 0, kWait);

    // The next program must get answers to its own commands only.
    LocalProgram program;
    QVERIFY(program.open(QStringLiteral("COM5")));
    QTRY_VERIFY_WITH_TIMEOUT(cat->isOpen(), kWait);
    QVERIFY(::write(program.fd(), "ID;", 3) == 3);
    const QByteArray answer = program.readUntil("ID019;");
    QCOMPARE(answer, QByteArray("ID019;"));
}

void TestTunnelE2e::frameForClosedPort()
{
    Serial *cat = handler(QStringLiteral("cat"));
    {
        LocalProgram program;
        QVERIFY(program.open(QStringLiteral("COM5")));
        QTRY_VERIFY_WITH_TIMEOUT(cat->isOpen(), kWait);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!cat->isOpen(), kWait);
    cat->takeActivity();
    QVERIFY(m_sim->run(
        QStringLiteral("tunnel cat send %1").arg(QString::fromLatin1(QByteArray("STALE;").toHex()))));
    // The macro evaluates once more after success: keep what was seen.
    bool arrived = false;
    QTRY_VERIFY_WITH_TIMEOUT((arrived = arrived || cat->takeActivity()), kWait);

    // The next program sees none of it, and the port works.
    LocalProgram program;
    QVERIFY(program.open(QStringLiteral("COM5")));
    QTRY_VERIFY_WITH_TIMEOUT(cat->isOpen(), kWait);
    QCOMPARE(program.transfer("ID;", 6), QByteArray("ID019;"));
}

QTEST_GUILESS_MAIN(TestTunnelE2e)
#include "tst_tunnel_e2e.moc"
