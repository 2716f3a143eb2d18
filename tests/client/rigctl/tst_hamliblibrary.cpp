#include "client/prefs/networktab.h"
#include "client/rigctl/hamliblibrary.h"
#include "client/rigctl/hamlibrig.h"
#include "client/rigctl/rigserver.h"
#include "common/settings.h"

#include <QComboBox>
#include <QLabel>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace brelko;
using namespace morvex;

// Hamlib missing from the installation: rig control goes on without it,
// says why once, and answers radio programs with errors; PTT through the box
// still works. The model list offers no radios and says why.
class TestHamlibLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void serverAnswersWithErrors_data();
    void serverAnswersWithErrors();
    void pttThroughTheBox();
    void modelListSaysWhy();
    void cleanupTestCase();

private:
    QByteArray ask(const QByteArray &line);

    QTemporaryDir m_dir;
    QString m_missing;
    RigServer m_server;
    QTcpSocket m_client;
    bool m_ptt = false;
    QList<bool> m_pttCalls;
};

namespace {
QStringList g_loadErrors;
QtMessageHandler g_previous = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (msg.startsWith(QLatin1String("Rig control: cannot load Hamlib")))
        g_loadErrors.append(msg);
    g_previous(type, context, msg);
}

bool hamlibMapped()
{
    QFile maps("/proc/self/maps");
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libhamlib");
}
} // namespace

void TestHamlibLibrary::initTestCase()
{
    QVERIFY(m_dir.isValid());
    Settings::setDefaultFile(m_dir.filePath("Morvex.ini"));
    g_previous = qInstallMessageHandler(collect);
    // Before anything asks for Hamlib: nothing in this program links it.
    QVERIFY(!hamlibMapped());
    // By default the versioned name of the library the build found.
    QVERIFY2(QRegularExpression("^libhamlib\\.so\\.\\d+$").match(HamlibLibrary::fileName()).hasMatch(),
        qPrintable(HamlibLibrary::fileName()));
    m_missing = m_dir.filePath("libhamlib-missing.so.4");
    HamlibLibrary::setFileName(m_missing);
    QVERIFY(HamlibLibrary::error().isEmpty());

    m_server.setPttControl(
        [this](bool on) {
            m_pttCalls.append(on);
            m_ptt = on;
            return 0;
        },
        [this] { return m_ptt; });
    RigServer::Config c;
    c.enabled = true;
    c.port = 0;
    c.rig.model = 2014;
    c.rig.path = m_dir.filePath("cat");
    QVERIFY(m_server.start(c));
    QVERIFY(m_server.isListening());
    m_client.connectToHost(QHostAddress::LocalHost, m_server.serverPort());
    QVERIFY(m_client.waitForConnected(10000));
}

void TestHamlibLibrary::cleanupTestCase()
{
    m_client.abort();
    m_server.stop();
    qInstallMessageHandler(g_previous);
}

QByteArray TestHamlibLibrary::ask(const QByteArray &line)
{
    m_client.write(line + '\n');
    if (!QTest::qWaitFor([&] { return m_client.canReadLine(); }, 10000))
        return "no answer";
    return m_client.readLine().trimmed();
}

void TestHamlibLibrary::serverAnswersWithErrors_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    // What needs Hamlib fails as for a radio that cannot be opened.
    QTest::newRow("get_freq") << QByteArray("f") << QByteArray("RPRT -6");
    QTest::newRow("set_freq") << QByteArray("F 7074000") << QByteArray("RPRT -6");
    QTest::newRow("set_mode") << QByteArray("M USB 2400") << QByteArray("RPRT -6");
    QTest::newRow("get_level") << QByteArray("l RFPOWER") << QByteArray("RPRT -6");
    QTest::newRow("get_powerstat") << QByteArray("\\get_powerstat") << QByteArray("RPRT -6");
    QTest::newRow("dump_state") << QByteArray("\\dump_state") << QByteArray("RPRT -6");
    QTest::newRow("dump_caps") << QByteArray("\\dump_caps") << QByteArray("RPRT -6");
    // What the server knows by itself is still answered.
    QTest::newRow("chk_vfo") << QByteArray("\\chk_vfo") << QByteArray("0");
    QTest::newRow("bad command") << QByteArray("zz") << QByteArray("RPRT -1");
}

void TestHamlibLibrary::serverAnswersWithErrors()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QCOMPARE(ask(command), answer);
    QVERIFY(!hamlibMapped());
    QVERIFY2(HamlibLibrary::error().contains("No such file"), qPrintable(HamlibLibrary::error()));
    // Said once, however often it was asked for (the server's log line, the
    // worker, every command).
    QCOMPARE(g_loadErrors.size(), 1);
    QVERIFY2(g_loadErrors.first().contains(m_missing), qPrintable(g_loadErrors.first()));
}

void TestHamlibLibrary::pttThroughTheBox()
{
    QCOMPARE(ask("T 1"), QByteArray("RPRT 0"));
    QCOMPARE(ask("t"), QByteArray("1"));
    QCOMPARE(ask("T 0"), QByteArray("RPRT 0"));
    QCOMPARE(m_pttCalls, QList<bool>({ true, false }));
    QVERIFY(m_server.isListening());
}

void TestHamlibLibrary::modelListSaysWhy()
{
    QVERIFY(HamlibRig::models().isEmpty());
    QVERIFY(HamlibRig::modelName(2014).isEmpty());

    // A radio model saved when Hamlib was there.
    Settings *s = Settings::instance();
    s->setValue(Settings::RigEnabled, Settings::RigControl, true);
    s->setValue(Settings::RigModel, Settings::RigControl, 2014);
    NetworkTab tab;
    tab.loadSettings();
    tab.commitState();
    QCOMPARE(tab.rigModel(), 2014);
    QVERIFY(!tab.rigModelsLoaded());

    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    QVERIFY(tab.rigModelsLoaded());
    QCOMPARE(tab.rigModelBox()->count(), 1);
    QCOMPARE(tab.rigModelBox()->itemText(0), QString("None (PTT only)"));
    QCOMPARE(tab.rigModel(), 0);
    // Not the operator's change: nothing to apply.
    QVERIFY(!tab.isChanged());
    const QString note = tab.rigModelNote();
    QVERIFY2(note.contains(m_missing) && note.contains("No such file"), qPrintable(note));
    const QList<QLabel *> labels = tab.findChildren<QLabel *>();
    QVERIFY(std::any_of(
        labels.cbegin(), labels.cend(), [&](QLabel *l) { return l->isVisible() && l->text() == note; }));
    QCOMPARE(g_loadErrors.size(), 1);
}

QTEST_MAIN(TestHamlibLibrary)
#include "tst_hamliblibrary.moc"
