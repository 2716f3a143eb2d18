#include "client/diag/console.h"
#include "client/diag/loghook.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QtTest>

#include <thread>

using namespace morvex;

Q_LOGGING_CATEGORY(lcSerial, "serial.packet")

class TestLogHook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { LogHook::install(); }
    void cleanupTestCase() { qInstallMessageHandler(nullptr); }
    void formatting_data();
    void formatting();
    void linesReachEveryConsole();
    void pausedConsoleDropsLines();
    void consoleKeepsNewestLines();
    void otherThreadsReachConsole();
    void statisticsText();
};

void TestLogHook::formatting_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("line");
    QTest::newRow("debug") << int(QtDebugMsg) << "default"
                           << "default.debug: text";
    QTest::newRow("warning") << int(QtWarningMsg) << "winkey"
                             << "winkey.warning: text";
    QTest::newRow("critical") << int(QtCriticalMsg) << "selfcontrol"
                              << "selfcontrol.critical: text";
    QTest::newRow("fatal") << int(QtFatalMsg) << "default"
                           << "default.fatal: text";
    QTest::newRow("info has no marker") << int(QtInfoMsg) << "serial.packet"
                                        << "serial.packet: text";
}

void TestLogHook::formatting()
{
    QFETCH(int, type);
    QFETCH(QString, category);
    QFETCH(QString, line);
    const QByteArray cat = category.toLatin1();
    QCOMPARE(LogHook::formatLine(QtMsgType(type), cat.constData(), "text"), line);
}

void TestLogHook::linesReachEveryConsole()
{
    // No console: the line is dropped without harm.
    qDebug() << "nobody listens";

    Console a, b;
    qDebug() << "hello" << 42;
    qCWarning(lcSerial) << "tunnel";
    QTRY_VERIFY(a.text().contains("default.debug: hello 42"));
    QVERIFY(a.text().contains("serial.packet.warning: tunnel"));
    QVERIFY(b.text().contains("default.debug: hello 42"));
    QVERIFY(!a.text().contains("nobody listens"));

    a.clear();
    QVERIFY(a.text().isEmpty());
    {
        Console gone;
    }
    qDebug() << "after a console closed";
    QVERIFY(b.text().contains("after a console closed"));
}

void TestLogHook::pausedConsoleDropsLines()
{
    Console c;
    c.pause();
    QVERIFY(c.isPaused());
    qDebug() << "while paused";
    c.pause();
    qDebug() << "after resume";
    QVERIFY(!c.text().contains("while paused"));
    QVERIFY(c.text().contains("after resume"));
}

void TestLogHook::consoleKeepsNewestLines()
{
    Console c;
    for (int i = 0; i < Console::kMaxLines + 50; ++i)
        qDebug() << "line" << i;
    const QStringList lines = c.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), Console::kMaxLines);
    QCOMPARE(lines.first(), QString("default.debug: line 50"));
    QCOMPARE(lines.last(), QString("default.debug: line %1").arg(Console::kMaxLines + 49));
}

void TestLogHook::otherThreadsReachConsole()
{
    Console c;
    // A plain thread: QThread::create runs its function through std::call_once,
    // where ThreadSanitizer stops looking.
    std::thread t([] {
        for (int i = 0; i < 200; ++i)
            qWarning() << "from worker" << i;
    });
    t.join();
    QTRY_VERIFY(c.text().contains("default.warning: from worker 199"));
    QVERIFY(c.text().contains("default.warning: from worker 0"));
}

void TestLogHook::statisticsText()
{
    Console c;
    // A vector without the foreign count still shows, with none.
    c.updateStatistics({ 1, 2, 3, 40, 50, 60 });
    QCOMPARE(c.statisticsText(),
        QString("   received=1\n   lost=2\n   late=3\n\n"
                "   Total received=40\n   Total lost=50\n   Total late=60\n"
                "   foreign=0"));
    QVERIFY(!c.text().contains("Receive statistics"));

    // Dropped foreign datagrams reach the log once per change of the count.
    const QString line = "default.warning: Receive statistics: received=1 lost=2 late=3 total received=40 "
                         "total lost=50 total late=60 foreign=7";
    c.updateStatistics({ 1, 2, 3, 40, 50, 60, 7 });
    QVERIFY(c.statisticsText().endsWith("   foreign=7"));
    c.updateStatistics({ 1, 2, 3, 40, 50, 60, 7 });
    QCOMPARE(c.text().count(line), 1);
    // A new stream counts from zero again.
    c.updateStatistics({ 0, 0, 0, 0, 0, 0, 0 });
    c.updateStatistics({ 0, 0, 0, 0, 0, 0, 2 });
    QVERIFY(c.text().endsWith("foreign=2"));
    QCOMPARE(c.text().count("Receive statistics"), 2);
}

QTEST_MAIN(TestLogHook)
#include "tst_loghook.moc"
