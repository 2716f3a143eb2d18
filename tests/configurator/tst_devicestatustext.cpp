// The Status tab's decoders of device responses.

#include "configurator/devicestatustext.h"

#include <QtEndian>
#include <QtTest>

using namespace configurator;

using namespace DeviceStatusText;

namespace {
QByteArray record(quint8 type)
{
    QByteArray r(64, '\0');
    r[0] = 28;
    r[1] = char(type);
    return r;
}
} // namespace

class TstDeviceStatusText : public QObject
{
    Q_OBJECT

private slots:
    void exceptionShowsThirteenRegisters();
    void errorTypes_data();
    void errorTypes();
    void shortRecordsReadAsZero();
    void ddns_data();
    void ddns();
    void addressesAndVersions();
};

void TstDeviceStatusText::exceptionShowsThirteenRegisters()
{
    QByteArray r = record(3);
    for (int i = 0; i < 13; ++i)
        qToLittleEndian<quint32>(i == 0 ? 0x2A : 0xDEADBE00u + quint32(i), r.data() + 2 + 4 * i);
    const QStringList lines = lastError(r).split('\n');
    QCOMPARE(lines.value(0), QStringLiteral("Type: exception. Reason: BusFault"));
    QCOMPARE(lines.size(), 1 + 13 + 1); // the last line break ends an empty line
    QCOMPARE(lines.value(1), QStringLiteral("r0  =0x0000002A"));
    QCOMPARE(lines.value(5), QStringLiteral("r12 =0xDEADBE04"));
    QCOMPARE(lines.value(9), QStringLiteral("BFAR=0xDEADBE08"));
    QCOMPARE(lines.value(13), QStringLiteral("AFSR=0xDEADBE0C"));
    const QStringList names { "r0  ", "r1  ", "r2  ", "r3  ", "r12 ", "LR  ", "PC  ", "PSR ", "BFAR", "CFSR",
        "HFSR", "DFSR", "AFSR" };
    for (int i = 0; i < 13; ++i)
        QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(names[i]) + "=0x[0-9A-F]{8}$")
                     .match(lines[i + 1])
                     .hasMatch(),
            qPrintable(lines[i + 1]));
}

void TstDeviceStatusText::errorTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("first");
    QTest::newRow("1") << 1 << "Type: exception. Reason: HardFault";
    QTest::newRow("2") << 2 << "Type: exception. Reason: MemManageFault";
    QTest::newRow("4") << 4 << "Type: exception. Reason: UsageFault";
    QTest::newRow("5") << 5 << "Type: exception. Reason: DebugMonFault";
    QTest::newRow("6") << 6 << "Type: exception. Reason: NMI";
    QTest::newRow("7") << 7 << "Device does not have error";
    QTest::newRow("9") << 9 << "Device does not have error";
    QTest::newRow("255") << 255 << "Device does not have error";
}

void TstDeviceStatusText::errorTypes()
{
    QFETCH(int, type);
    QFETCH(QString, first);
    QCOMPARE(lastError(record(quint8(type))).split('\n').value(0), first);
}

void TstDeviceStatusText::shortRecordsReadAsZero()
{
    // Watchdog reason runs to its NUL, or to the end of what was received.
    QByteArray r = record(0);
    r.replace(2, 9, "Stack low");
    QCOMPARE(lastError(r), QStringLiteral("Type: watchdog. Reason: Stack low"));
    QByteArray full(64, 'x');
    full[0] = 28;
    full[1] = 0;
    QCOMPARE(lastError(full), QStringLiteral("Type: watchdog. Reason: ") + QString(62, 'x'));
    QCOMPARE(lastError(QByteArray()), QStringLiteral("Type: watchdog. Reason: "));
    const QString cut = lastError(QByteArray("\x1c\x01\x2a", 3));
    QVERIFY(cut.contains("r0  =0x0000002A\n"));
    QVERIFY(cut.contains("AFSR=0x00000000\n"));
}

void TstDeviceStatusText::ddns_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("matched");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("detailPart");
    QTest::addColumn<int>("icon");
    const int info = int(DeviceStatusText::Severity::Information),
              warn = int(DeviceStatusText::Severity::Warning);
    QTest::newRow("disabled") << "disabled" << true << "Disabled"
                              << "you have to switch to DDNS tab." << info;
    QTest::newRow("good") << "good 93.184.216.34" << true << "Success"
                          << "DNS hostname update successful.\n"
                          << info;
    QTest::newRow("nochg") << "nochg 93.184.216.34" << true << "Success"
                           << "no update performed. \n"
                           << info;
    QTest::newRow("nohost") << "nohost" << true << "Error"
                            << "credentials before performing" << warn;
    QTest::newRow("badauth") << "badauth" << true << "Error"
                             << "Invalid username password combination" << warn;
    QTest::newRow("badagent") << "badagent" << true << "Error"
                              << "Client disabled.\n"
                              << warn;
    QTest::newRow("!donator") << "!donator" << true << "Error"
                              << "offline options." << warn;
    QTest::newRow("abuse") << "abuse" << true << "Error"
                           << "terms of service." << warn;
    QTest::newRow("911") << "911" << true << "Error"
                         << "Retry the update no sooner 30 minutes." << warn;
    QTest::newRow("disconnected") << "disconnected" << true << "Error"
                                  << "check your Internet connection." << warn;
    // "disabled" only as the whole text; codes are searched in table order.
    QTest::newRow("disabled inside") << "xdisabled" << false << ""
                                     << "" << 0;
    QTest::newRow("good before 911") << "911 good" << true << "Success"
                                     << "update successful" << info;
    QTest::newRow("case matters") << "GOOD" << false << ""
                                  << "" << 0;
    QTest::newRow("empty") << "" << false << ""
                           << "" << 0;
}

void TstDeviceStatusText::ddns()
{
    QFETCH(QString, answer);
    QFETCH(bool, matched);
    QFETCH(QString, word);
    QFETCH(QString, detailPart);
    QFETCH(int, icon);
    const DdnsResult r = ddnsResult(answer);
    QCOMPARE(r.matched, matched);
    QCOMPARE(r.word, word);
    QVERIFY2(r.detail.contains(detailPart), qPrintable(r.detail));
    QCOMPARE(int(r.severity), icon);
}

void TstDeviceStatusText::addressesAndVersions()
{
    QCOMPARE(mac(QByteArray("\x0c\x04\xb8\x05\x56\x22\x89", 7)), QStringLiteral("04:b8:05:56:22:89"));
    QCOMPARE(ipv4(QByteArray("\x0d\xc0\xa8\x01\x0a", 5)), QStringLiteral("192.168.1.10"));
    QByteArray v(64, '\0');
    qToLittleEndian<quint32>(1, v.data() + 1);
    qToLittleEndian<quint32>(12, v.data() + 5);
    qToLittleEndian<quint32>(300, v.data() + 9);
    QCOMPARE(firmwareVersion(v), QStringLiteral("1.12.300"));
    QCOMPARE(hardwareVersion(v), QStringLiteral("1.12"));
}

QTEST_APPLESS_MAIN(TstDeviceStatusText)
#include "tst_devicestatustext.moc"
