#include "platform/winelinks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

// The dosdevices links for Wine, in a temporary prefix: made, kept when the
// entry is someone else's, removed when the ports go.
class TestWineLinks : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void names_data();
    void names();
    void defaultPrefix();
    void linksFollowThePorts();
    void foreignEntriesLeftAlone_data();
    void foreignEntriesLeftAlone();
    void prefixPointingNowhere();

private:
    QString prefix() const { return m_dir->path() + "/wine"; }
    QString port(const QString &name) const { return m_dir->path() + "/vsport/" + name; }
    QString dos(const char *entry) const { return prefix() + "/dosdevices/" + entry; }
    static QString target(const QString &path) { return QFileInfo(path).symLinkTarget(); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestWineLinks::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(prefix() + "/dosdevices"));
    QVERIFY(QDir().mkpath(m_dir->path() + "/vsport"));
    for (const char *name : { "COM5", "COM12", "COM7" }) {
        QFile f(port(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
}

void TestWineLinks::names_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("link");
    QTest::newRow("COM5") << "COM5"
                          << "/p/dosdevices/com5";
    QTest::newRow("lower case") << "com12"
                                << "/p/dosdevices/com12";
    QTest::newRow("COM255") << "COM255"
                            << "/p/dosdevices/com255";
    QTest::newRow("COM0") << "COM0"
                          << "";
    QTest::newRow("leading zero") << "COM05"
                                  << "";
    QTest::newRow("no number") << "COM"
                               << "";
    QTest::newRow("None") << "None"
                          << "";
    QTest::newRow("trailing text") << "COM5x"
                                   << "";
    QTest::newRow("path in name") << "COM5/../x"
                                  << "";
}

void TestWineLinks::names()
{
    QFETCH(QString, port);
    QTEST(WineLinks::linkPath("/p", port), "link");
}

void TestWineLinks::defaultPrefix()
{
    const QByteArray saved = qgetenv("WINEPREFIX");
    qputenv("WINEPREFIX", "/somewhere/else");
    QCOMPARE(WineLinks::defaultPrefix(), QString("/somewhere/else"));
    qunsetenv("WINEPREFIX");
    QCOMPARE(WineLinks::defaultPrefix(), QDir::homePath() + "/.wine");
    if (!saved.isNull())
        qputenv("WINEPREFIX", saved);
}

void TestWineLinks::linksFollowThePorts()
{
    auto links = std::make_unique<WineLinks>();
    links->update(prefix(), { { "COM5", port("COM5") }, { "COM12", port("COM12") } });
    QCOMPARE(target(dos("com5")), port("COM5"));
    QCOMPARE(target(dos("com12")), port("COM12"));
    QCOMPARE(links->links().size(), 2);

    // Applying the same ports again changes nothing; a port that goes loses its link.
    links->update(prefix(), { { "COM5", port("COM5") }, { "COM12", port("COM12") } });
    links->update(prefix(), { { "COM12", port("COM12") }, { "COM7", port("COM7") } });
    QVERIFY(!QFileInfo(dos("com5")).isSymLink());
    QCOMPARE(target(dos("com12")), port("COM12"));
    QCOMPARE(target(dos("com7")), port("COM7"));

    // A link someone removed behind our back is made again.
    QVERIFY(QFile::remove(dos("com7")));
    links->update(prefix(), { { "COM12", port("COM12") }, { "COM7", port("COM7") } });
    QCOMPARE(target(dos("com7")), port("COM7"));

    // Destroying the owner removes what it made, and only that.
    QVERIFY(QFile::link(port("COM5"), dos("com3")));
    links.reset();
    QVERIFY(!QFileInfo(dos("com12")).isSymLink());
    QVERIFY(!QFileInfo(dos("com7")).isSymLink());
    QCOMPARE(target(dos("com3")), port("COM5"));
}

void TestWineLinks::foreignEntriesLeftAlone_data()
{
    QTest::addColumn<bool>("realFile");
    QTest::newRow("real file") << true;
    QTest::newRow("link elsewhere") << false;
}

void TestWineLinks::foreignEntriesLeftAlone()
{
    QFETCH(bool, realFile);
    if (realFile) {
        QFile f(dos("com5"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("mine");
    } else {
        QVERIFY(QFile::link("/dev/ttyS0", dos("com5")));
    }
    auto links = std::make_unique<WineLinks>();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("com5 is not ours; left alone, COM5 not linked"));
    links->update(prefix(), { { "COM5", port("COM5") }, { "COM7", port("COM7") } });
    QCOMPARE(target(dos("com7")), port("COM7"));
    QCOMPARE(links->links(), QStringList { dos("com7") });
    // Neither removing the port nor ending touches the entry.
    links->update(prefix(), {});
    links.reset();
    QVERIFY(!QFileInfo(dos("com7")).isSymLink());
    if (realFile) {
        QFile f(dos("com5"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("mine"));
    } else {
        QCOMPARE(target(dos("com5")), QString("/dev/ttyS0"));
    }
    // The plain removal leaves it as well.
    QVERIFY(WineLinks::unlink(prefix(), "COM5", port("COM5")));
    QVERIFY(QFileInfo(dos("com5")).isSymLink() != realFile);
}

void TestWineLinks::prefixPointingNowhere()
{
    const QString nowhere = m_dir->path() + "/no/such/prefix";
    WineLinks links;
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression("prefix .*/no/such/prefix does not exist; COM5 not linked"));
    links.update(nowhere, { { "COM5", port("COM5") } });
    QVERIFY(links.links().isEmpty());
    QVERIFY(!QFileInfo::exists(m_dir->path() + "/no"));

    // A prefix without dosdevices yet gets the folder.
    const QString fresh = m_dir->path() + "/fresh";
    QVERIFY(QDir().mkpath(fresh));
    QCOMPARE(WineLinks::link(fresh, "COM7", port("COM7")), WineLinks::Result::Linked);
    QCOMPARE(target(fresh + "/dosdevices/com7"), port("COM7"));
    QVERIFY(WineLinks::unlink(fresh, "COM7", port("COM7")));
    QVERIFY(!QFileInfo(fresh + "/dosdevices/com7").isSymLink());
}

QTEST_GUILESS_MAIN(TestWineLinks)
#include "tst_winelinks.moc"
