#include "sim/radiomodel.h"
#include "sim/serialtunnel.h"

#include <QSignalSpy>
#include <QtTest>

// The transceiver behind the CAT tunnel and the line word the box decodes.
class TestRadioModel : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void ifAnswerLayout();
    void splitAcrossChunksAndNoise();
    void overlongCommandIsDropped();
    void operatorChangesWithAutoInfo();
    void lineWord_data();
    void lineWord();

private:
    static QByteArray feed(RadioModel *radio, const QByteArray &bytes);
};

QByteArray TestRadioModel::feed(RadioModel *radio, const QByteArray &bytes)
{
    QByteArray out;
    auto c = connect(radio, &RadioModel::output, [&out](const QByteArray &b) { out += b; });
    radio->input(bytes);
    disconnect(c);
    return out;
}

void TestRadioModel::commands_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("check");

    QTest::newRow("id") << QByteArray("ID;") << QByteArray("ID019;") << QString();
    QTest::newRow("power") << QByteArray("PS;") << QByteArray("PS1;") << QString();
    QTest::newRow("read A") << QByteArray("FA;") << QByteArray("FA00014250000;") << QString();
    QTest::newRow("set A then read") << QByteArray("FA00014074000;FA;") << QByteArray("FA00014074000;")
                                     << QStringLiteral("freq=14074000");
    QTest::newRow("set B") << QByteArray("FB00000137000;FB;") << QByteArray("FB00000137000;")
                           << QStringLiteral("freqb=137000");
    QTest::newRow("A too short") << QByteArray("FA1407400;") << QByteArray("?;")
                                 << QStringLiteral("freq=14250000");
    QTest::newRow("A not digits") << QByteArray("FA0001407400x;") << QByteArray("?;")
                                  << QStringLiteral("freq=14250000");
    QTest::newRow("mode") << QByteArray("MD3;MD;") << QByteArray("MD3;") << QStringLiteral("mode=3");
    QTest::newRow("no mode 8") << QByteArray("MD8;") << QByteArray("?;") << QStringLiteral("mode=2");
    QTest::newRow("vfo B both ways") << QByteArray("FR1;FR;FT;") << QByteArray("FR1;FT1;")
                                     << QStringLiteral("rxvfo=1");
    QTest::newRow("split") << QByteArray("FT1;FR;FT;") << QByteArray("FR0;FT1;") << QStringLiteral("txvfo=1");
    QTest::newRow("transmit") << QByteArray("TX;") << QByteArray() << QStringLiteral("tx=1");
    QTest::newRow("auto info") << QByteArray("AI2;AI;") << QByteArray("AI2;") << QStringLiteral("ai=2");
    QTest::newRow("auto info out of range")
        << QByteArray("AI7;") << QByteArray("?;") << QStringLiteral("ai=0");
    QTest::newRow("s meter") << QByteArray("SM0;") << QByteArray("SM00015;") << QString();
    QTest::newRow("unknown") << QByteArray("ZZ;") << QByteArray("?;") << QString();
    QTest::newRow("lower case") << QByteArray("id;") << QByteArray("?;") << QString();
    QTest::newRow("one letter") << QByteArray("I;") << QByteArray("?;") << QString();
    QTest::newRow("empty commands") << QByteArray(";;;") << QByteArray() << QString();
}

void TestRadioModel::commands()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, answer);
    QFETCH(QString, check);

    RadioModel radio;
    QCOMPARE(feed(&radio, input), answer);
    const QMap<QString, quint64> state { { QStringLiteral("freq"), radio.frequency(0) },
        { QStringLiteral("freqb"), radio.frequency(1) }, { QStringLiteral("mode"), quint64(radio.mode()) },
        { QStringLiteral("rxvfo"), quint64(radio.rxVfo()) },
        { QStringLiteral("txvfo"), quint64(radio.txVfo()) },
        { QStringLiteral("tx"), radio.isTransmitting() ? 1u : 0u },
        { QStringLiteral("ai"), quint64(radio.autoInfo()) } };
    if (!check.isEmpty()) {
        const QStringList kv = check.split(QLatin1Char('='));
        QVERIFY(state.contains(kv.at(0)));
        QCOMPARE(state.value(kv.at(0)), kv.at(1).toULongLong());
    }
}

void TestRadioModel::ifAnswerLayout()
{
    RadioModel radio;
    feed(&radio, "FA00007074000;MD1;TX;FT1;");
    const QByteArray a = feed(&radio, "IF;");
    // Fixed width: programs read fields by position.
    QCOMPARE(a.size(), 38);
    QCOMPARE(a.left(2), QByteArray("IF"));
    QCOMPARE(a.mid(2, 11), QByteArray("00007074000"));
    QCOMPARE(a.at(28), '1'); // transmitting
    QCOMPARE(a.at(29), '1'); // LSB
    QCOMPARE(a.at(30), '0'); // receiving on A
    QCOMPARE(a.at(32), '1'); // split
    QCOMPARE(a.right(1), QByteArray(";"));
    // Receiving on B reports B's frequency.
    feed(&radio, "FR1;FB00021074000;");
    QCOMPARE(feed(&radio, "IF;").mid(2, 11), QByteArray("00021074000"));
}

void TestRadioModel::splitAcrossChunksAndNoise()
{
    RadioModel radio;
    QByteArray out;
    for (const char c : QByteArray("\r\nF"))
        out += feed(&radio, QByteArray(1, c));
    out += feed(&radio, "A");
    out += feed(&radio, ";\nID;MD;");
    QCOMPARE(out, QByteArray("FA00014250000;ID019;MD2;"));
    QCOMPARE(radio.commandCount(), 3);
    QCOMPARE(radio.commands(), QStringList({ "FA", "ID", "MD" }));
}

void TestRadioModel::overlongCommandIsDropped()
{
    RadioModel radio;
    const QByteArray noise(10000, 'x');
    QCOMPARE(feed(&radio, noise), QByteArray());
    QCOMPARE(feed(&radio, ";ID;"), QByteArray("?;ID019;"));
    QCOMPARE(radio.droppedBytes(), qint64(noise.size() - RadioModel::kMaxCommand));
    // A command of exactly the limit is still one command.
    QCOMPARE(feed(&radio, QByteArray(RadioModel::kMaxCommand, 'Q') + ";ID;"), QByteArray("?;ID019;"));
}

void TestRadioModel::operatorChangesWithAutoInfo()
{
    RadioModel radio;
    QSignalSpy out(&radio, &RadioModel::output);
    QVERIFY(radio.setFrequency(0, 3573000));
    QCOMPARE(out.count(), 0);
    feed(&radio, "AI1;");
    out.clear();
    QVERIFY(radio.setMode(RadioModel::Cw));
    QCOMPARE(out.count(), 1);
    const QByteArray report = out.at(0).at(0).toByteArray();
    QCOMPARE(report, radio.ifAnswer());
    QCOMPARE(report.mid(2, 11), QByteArray("00003573000"));
    QVERIFY(!radio.setFrequency(0, RadioModel::kMaxFrequency + 1));
    QVERIFY(!radio.setMode(8));
    QCOMPARE(RadioModel::modeFromText(QStringLiteral("cw-r")), int(RadioModel::CwR));
    QCOMPARE(RadioModel::modeFromText(QStringLiteral("9")), int(RadioModel::FskR));
    QCOMPARE(RadioModel::modeFromText(QStringLiteral("8")), 0);
}

void TestRadioModel::lineWord_data()
{
    QTest::addColumn<quint32>("word");
    QTest::addColumn<bool>("open");
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<QString>("format");

    QTest::newRow("9600 8E1 open") << ((9600u << 10) | 0x51u) << true << 9600u << QStringLiteral("8E1");
    QTest::newRow("9600 8E1 closed") << ((9600u << 10) | 0x50u) << false << 9600u << QStringLiteral("8E1");
    QTest::newRow("9600 8N1") << ((9600u << 10) | 0x11u) << true << 9600u << QStringLiteral("8N1");
    QTest::newRow("4800 7O2") << ((4800u << 10) | (2u << 8) | (1u << 5) | (7u << 1) | 1u) << true << 4800u
                              << QStringLiteral("7O2");
    QTest::newRow("1.5 stop, space") << ((45u << 10) | (1u << 8) | (4u << 5) | (5u << 1)) << false << 45u
                                     << QStringLiteral("5S1.5");
    QTest::newRow("top rate") << 0xFFFFFC11u << true << 0x3FFFFFu << QStringLiteral("8N1");
    QTest::newRow("unknown codes") << ((7u << 5) | (3u << 8)) << false << 0u << QStringLiteral("0??");
}

void TestRadioModel::lineWord()
{
    QFETCH(quint32, word);
    const TunnelLine l = TunnelLine::decode(word);
    QTEST(l.open, "open");
    QTEST(l.baudRate, "baud");
    QTEST(l.format(), "format");
}

QTEST_APPLESS_MAIN(TestRadioModel)
#include "tst_radiomodel.moc"
