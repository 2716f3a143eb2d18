#include "client/rigctl/rigcommand.h"
#include "client/rigctl/riglinereader.h"

#include <QtTest>

using namespace morvex;

class TestRigCommand : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void answer_data();
    void answer();
    void lines();
};

Q_DECLARE_METATYPE(RigCommand::Op)

void TestRigCommand::parse_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<RigCommand::Op>("op");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("separator");

    QTest::newRow("short get") << QByteArray("f") << RigCommand::GetFreq << QStringList() << 0;
    QTest::newRow("long get") << QByteArray("\\get_freq") << RigCommand::GetFreq << QStringList() << 0;
    QTest::newRow("crlf and spaces") << QByteArray("  F   7074000.000000 \r") << RigCommand::SetFreq
                                     << QStringList { "7074000.000000" } << 0;
    QTest::newRow("extended +") << QByteArray("+m") << RigCommand::GetMode << QStringList() << int('\n');
    QTest::newRow("extended ;") << QByteArray(";\\set_mode USB 2400") << RigCommand::SetMode
                                << QStringList { "USB", "2400" } << int(';');
    QTest::newRow("passband unchanged")
        << QByteArray("M CW -1") << RigCommand::SetMode << QStringList { "CW", "-1" } << 0;
    QTest::newRow("ptt data") << QByteArray("T 3") << RigCommand::SetPtt << QStringList { "3" } << 0;
    QTest::newRow("split") << QByteArray("S 1 VFOB") << RigCommand::SetSplitVfo << QStringList { "1", "VFOB" }
                           << 0;
    QTest::newRow("level") << QByteArray("L RFPOWER 0.5") << RigCommand::SetLevel
                           << QStringList { "RFPOWER", "0.5" } << 0;
    QTest::newRow("dump_state") << QByteArray("\\dump_state") << RigCommand::DumpState << QStringList() << 0;
    QTest::newRow("chk_vfo") << QByteArray("\\chk_vfo") << RigCommand::ChkVfo << QStringList() << 0;
    QTest::newRow("quit") << QByteArray("q") << RigCommand::Quit << QStringList() << 0;
    QTest::newRow("blank") << QByteArray("   ") << RigCommand::Empty << QStringList() << 0;

    // Refused, with the protocol's error.
    QTest::newRow("unknown short") << QByteArray("z") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("unknown long") << QByteArray("\\get_everything") << RigCommand::Invalid << QStringList()
                                  << 0;
    QTest::newRow("short as long") << QByteArray("\\f") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("missing arg") << QByteArray("F") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("extra arg") << QByteArray("f 1") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("bad freq") << QByteArray("F 7.0e400") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("negative freq") << QByteArray("F -5") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("nan freq") << QByteArray("F nan") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("bad ptt") << QByteArray("T 4") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("bad split") << QByteArray("S 2 VFOB") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("mode with symbols")
        << QByteArray("M U$B 2400") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("control bytes") << QByteArray("f\x01", 2) << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("nul") << QByteArray("f\0", 2) << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("high bytes") << QByteArray("F \xff\xfe") << RigCommand::Invalid << QStringList() << 0;
    QTest::newRow("separator alone") << QByteArray("+") << RigCommand::Invalid << QStringList() << 0;
}

void TestRigCommand::parse()
{
    QFETCH(QByteArray, line);
    QFETCH(RigCommand::Op, op);
    QFETCH(QStringList, args);
    QFETCH(int, separator);
    const RigCommand cmd = RigProtocol::parse(line);
    QCOMPARE(cmd.op, op);
    if (op == RigCommand::Invalid) {
        QCOMPARE(cmd.error, int(RigProtocol::EInval));
        return;
    }
    QCOMPARE(cmd.args, args);
    QCOMPARE(int(cmd.separator), separator);
}

void TestRigCommand::answer_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("values"); // label=value
    QTest::addColumn<QByteArray>("expected");

    // The forms Hamlib's rigctld gives.
    QTest::newRow("get") << QByteArray("f") << 0 << QStringList { "Frequency=7074000" }
                         << QByteArray("7074000\n");
    QTest::newRow("get two") << QByteArray("m") << 0 << QStringList { "Mode=USB", "Passband=2400" }
                             << QByteArray("USB\n2400\n");
    QTest::newRow("get failed") << QByteArray("t") << -11 << QStringList() << QByteArray("RPRT -11\n");
    QTest::newRow("set") << QByteArray("F 7000000") << 0 << QStringList() << QByteArray("RPRT 0\n");
    QTest::newRow("set refused") << QByteArray("T 1") << -9 << QStringList() << QByteArray("RPRT -9\n");
    QTest::newRow("invalid") << QByteArray("zz") << 0 << QStringList() << QByteArray("RPRT -1\n");
    QTest::newRow("blank") << QByteArray("") << 0 << QStringList() << QByteArray();
    QTest::newRow("ext get") << QByteArray("+f") << 0 << QStringList { "Frequency=7074000" }
                             << QByteArray("get_freq:\nFrequency: 7074000\nRPRT 0\n");
    QTest::newRow("ext get failed") << QByteArray("+t") << -11 << QStringList { "PTT=1" }
                                    << QByteArray("get_ptt:\nRPRT -11\n");
    QTest::newRow("ext set") << QByteArray("+F 7000000") << 0 << QStringList()
                             << QByteArray("set_freq: 7000000\nRPRT 0\n");
    QTest::newRow("ext ;") << QByteArray(";f") << 0 << QStringList { "Frequency=7000000" }
                           << QByteArray("get_freq:;Frequency: 7000000;RPRT 0\n");
    QTest::newRow("ext |") << QByteArray("|m") << 0 << QStringList { "Mode=USB", "Passband=2400" }
                           << QByteArray("get_mode:|Mode: USB|Passband: 2400|RPRT 0\n");
    QTest::newRow("ext level") << QByteArray("+l AF") << 0 << QStringList { "=0.500000" }
                               << QByteArray("get_level: AF\n0.500000\nRPRT 0\n");
}

void TestRigCommand::answer()
{
    QFETCH(QByteArray, line);
    QFETCH(int, status);
    QFETCH(QStringList, values);
    QFETCH(QByteArray, expected);
    RigResult r;
    r.status = status;
    for (const QString &v : values)
        r.values.append({ v.section('=', 0, 0), v.section('=', 1) });
    QCOMPARE(RigProtocol::answer(RigProtocol::parse(line), r), expected);
}

void TestRigCommand::lines()
{
    RigLineReader reader;
    QByteArray line;
    // Pieces join into lines; several lines in one piece come one by one.
    reader.append("f\nF 70");
    QCOMPARE(reader.next(&line), RigLineReader::Kind::Line);
    QCOMPARE(line, QByteArray("f"));
    QCOMPARE(reader.next(&line), RigLineReader::Kind::None);
    reader.append("74000\nm\n");
    QCOMPARE(reader.next(&line), RigLineReader::Kind::Line);
    QCOMPARE(line, QByteArray("F 7074000"));
    QCOMPARE(reader.next(&line), RigLineReader::Kind::Line);
    QCOMPARE(line, QByteArray("m"));

    // Exactly the limit is a line; one more is refused whole.
    reader.append(QByteArray(RigLineReader::kMaxLine, 'x') + "\n");
    QCOMPARE(reader.next(&line), RigLineReader::Kind::Line);
    QCOMPARE(line.size(), RigLineReader::kMaxLine);
    reader.append(QByteArray(RigLineReader::kMaxLine + 1, 'x') + "\nf\n");
    QCOMPARE(reader.next(&line), RigLineReader::Kind::Overlong);
    QCOMPARE(reader.next(&line), RigLineReader::Kind::Line);
    QCOMPARE(line, QByteArray("f"));

    // A flood without newline: reported once, memory stays bounded, and the
    // line after its end is read normally.
    for (int i = 0; i < 100; ++i) {
        reader.append(QByteArray(1000, 'y'));
        const RigLineReader::Kind k = reader.next(&line);
        QCOMPARE(k, i == 1 ? RigLineReader::Kind::Overlong : RigLineReader::Kind::None);
        QVERIFY(reader.pending() <= 2 * RigLineReader::kMaxLine);
    }
    reader.append("tail\nt\n");
    QCOMPARE(reader.next(&line), RigLineReader::Kind::Line);
    QCOMPARE(line, QByteArray("t"));
    QCOMPARE(reader.next(&line), RigLineReader::Kind::None);
}

QTEST_APPLESS_MAIN(TestRigCommand)
#include "tst_rigcommand.moc"
