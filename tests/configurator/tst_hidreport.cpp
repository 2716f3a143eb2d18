#include "configurator/hidreport.h"

#include <QtTest>

using namespace configurator;

class TstHidReport : public QObject
{
    Q_OBJECT

private slots:
    void requestLayout();
    void putString_data();
    void putString();
    void numbersAreLittleEndian();
    void stringAt_data();
    void stringAt();
    void readersStayInsideTheResponse();
};

void TstHidReport::requestLayout()
{
    const QByteArray get = HidReport::getRequest(HidReport::PermissionSlot, 5);
    QCOMPARE(get.size(), 65);
    QCOMPARE(get.left(4), QByteArray::fromHex("00021d05"));
    QCOMPARE(get.mid(4), QByteArray(61, '\0'));

    const QByteArray commit = HidReport::setRequest(HidReport::CommitSettings);
    QCOMPARE(commit.left(3), QByteArray::fromHex("000305"));
    QCOMPARE(commit.mid(3), QByteArray(62, '\0')); // value zero

    const QByteArray reset = HidReport::request(HidReport::ResetDefaults);
    QCOMPARE(reset.left(2), QByteArray::fromHex("0001"));
}

void TstHidReport::putString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("expectedField");
    QTest::addColumn<bool>("whole");

    QTest::newRow("short") << "net" << 62 << (QByteArray("net") + QByteArray(59, '\0')) << true;
    QTest::newRow("empty") << "" << 62 << QByteArray(62, '\0') << true;
    QTest::newRow("61 fit") << QString(61, QLatin1Char('a')) << 62 << (QByteArray(61, 'a') + '\0') << true;
    QTest::newRow("62 cut") << QString(62, QLatin1Char('b')) << 62 << (QByteArray(61, 'b') + '\0') << false;
    QTest::newRow("200 cut") << QString(200, QLatin1Char('c')) << 62 << (QByteArray(61, 'c') + '\0') << false;
    QTest::newRow("latin1") << QStringLiteral("caf\u00e9") << 62
                            << (QByteArray("caf\xe9") + QByteArray(58, '\0')) << true;
    QTest::newRow("small field") << "abcdef" << 4 << QByteArray("abc\0", 4) << false;
}

void TstHidReport::putString()
{
    QFETCH(QString, text);
    QFETCH(int, field);
    QFETCH(QByteArray, expectedField);
    QFETCH(bool, whole);

    // Old bytes in the report must not survive behind the string.
    QByteArray report(65, char(0x55));
    QCOMPARE(HidReport::putString(report, text, field), whole);
    QCOMPARE(report.size(), 65);
    QCOMPARE(report.mid(3, field), expectedField);
    QCOMPARE(report.left(3), QByteArray(3, char(0x55)));
}

void TstHidReport::numbersAreLittleEndian()
{
    QByteArray r = HidReport::setRequest(HidReport::TcpCommandPort);
    HidReport::putU16(r, 11000);
    QCOMPARE(r.mid(3, 2), QByteArray::fromHex("f82a"));
    HidReport::putU32(r, 0x0A01A8C0);
    QCOMPARE(r.mid(3, 4), QByteArray::fromHex("c0a8010a"));

    const QByteArray resp = QByteArray::fromHex("0df82a00ff");
    QCOMPARE(HidReport::u16At(resp, 1), quint16(11000));
    QCOMPARE(HidReport::u32At(resp, 1), quint32(0xFF002AF8));
}

void TstHidReport::stringAt_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nul ends") << QByteArray("\x08Home\0junk", 10) << true << "Home";
    QTest::newRow("utf8") << QByteArray("\x08\xc3\xa9t\xc3\xa9\0", 7) << true
                          << QStringLiteral("\u00e9t\u00e9");
    QTest::newRow("latin1") << QByteArray("\x11\xe9\0", 3) << false << QStringLiteral("\u00e9");
    QTest::newRow("no nul, 64 bytes")
        << (QByteArray("\x08") + QByteArray(63, 'Z')) << true << QString(63, 'Z');
    QTest::newRow("short read") << QByteArray("\x08"
                                              "ab")
                                << true << "ab";
    QTest::newRow("only echo") << QByteArray("\x08") << true << "";
}

void TstHidReport::stringAt()
{
    QFETCH(QByteArray, response);
    QFETCH(bool, utf8);
    QFETCH(QString, expected);
    QCOMPARE(HidReport::stringAt(response, 1, utf8), expected);
}

void TstHidReport::readersStayInsideTheResponse()
{
    // A 65-byte buffer whose last byte was never received must not leak into a string.
    QByteArray buffer(65, 'Q');
    buffer[0] = 8;
    QCOMPARE(HidReport::stringAt(buffer, 1, true), QString(63, QLatin1Char('Q')));
    const QByteArray all(64, char(0xFF));
    QVERIFY(HidReport::stringAt(all, 1, true).size() <= 63);
    QCOMPARE(HidReport::u16At(QByteArray("\x12\x34", 2), 1), quint16(0x34));
    QCOMPARE(HidReport::u32At(QByteArray(), 1), quint32(0));
    QCOMPARE(HidReport::stringAt(QByteArray("\x08"), 5, true), QString());
}

QTEST_APPLESS_MAIN(TstHidReport)
#include "tst_hidreport.moc"
