#include "common/settings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace brelko;

// Built twice: against the client's store and against the configurator's.
class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fileStaysOwnerOnly();
    void standardLocation();
    void keyPathRule();
    void writesLandInIniGroups();
    void defaultsText_data();
    void defaultsText();
    void fileValueWinsOverDefault();
#ifdef BRELKO_CONFIGURATOR
    void setFileKeepsOrReplaces();
    void setFileSamePathRereads();
    void corruptFileReadsAsDefaults();
#endif

private:
    Settings *store()
    {
        return Settings::instance();
    }
    // Permission bits in octal, "missing" when there is no file.
    static QString mode(const QString &path)
    {
        struct stat st = {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            return QStringLiteral("missing");
        return QString::number(st.st_mode & 0777, 8);
    }
    QTemporaryDir m_dir;
};

void TestSettings::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Where the store would go on its own: under the test's private data home.
    QVERIFY(qEnvironmentVariableIsSet("XDG_DATA_HOME"));
    // The usual umask, under which a plain write makes a world-readable file.
    ::umask(022);
    // A file left readable by others (as earlier versions wrote it): the store
    // narrows it when it opens it.
    const QString path = m_dir.filePath("store.ini");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
#ifdef BRELKO_CONFIGURATOR
    f.write("[Connection]\nAccessPassword=s3cret\n");
#else
    f.write("[Network]\nNetworkPass=s3cret\n");
#endif
    f.close();
    QVERIFY(QFile::setPermissions(
        path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    QCOMPARE(mode(path), QString("644"));
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression("^Settings file .*/store.ini was readable by others; now 0600$"));
    Settings::setDefaultFile(path);
    QCOMPARE(store()->fileName(), path);
}

void TestSettings::fileStaysOwnerOnly()
{
#ifdef BRELKO_CONFIGURATOR
    const auto passKey = Settings::AccessPassword;
    const auto passSect = Settings::Connection;
#else
    const auto passKey = Settings::NetworkPass;
    const auto passSect = Settings::Network;
#endif
    const QString path = store()->fileName();
    QCOMPARE(mode(path), QString("600"));
    QCOMPARE(store()->value(passKey, passSect).toString(), QString("s3cret"));

    // QSettings rewrites through a temporary file renamed over the old one.
    const auto inode = [&] {
        struct stat st = {};
        ::stat(QFile::encodeName(path).constData(), &st);
        return st.st_ino;
    };
    const auto before = inode();
    (*store())(Settings::Language) = QStringLiteral("english");
    store()->sync();
    QCOMPARE(store()->status(), 0);
    QVERIFY(inode() != before);
    QCOMPARE(mode(path), QString("600"));
    QSettings raw(path, QSettings::IniFormat);
    QCOMPARE(raw.value(store()->keyPath(passKey, passSect)).toString(), QString("s3cret"));
    QCOMPARE(raw.value("Language").toString(), QString("english"));

    // No file yet, as on the first start: the first write makes it owner-only.
    QVERIFY(QFile::remove(path));
    (*store())(Settings::Language) = QStringLiteral("deutsch");
    store()->sync();
    QCOMPARE(mode(path), QString("600"));
    raw.sync();
    QCOMPARE(raw.value("Language").toString(), QString("deutsch"));
}

void TestSettings::standardLocation()
{
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
#ifdef BRELKO_CONFIGURATOR
    QCOMPARE(Settings::standardFile("Zentrik/config.ini"), data + "/Zentrik/config.ini");
#else
    QCOMPARE(Settings::standardFile("Zentrik/Brelko Software/Morvex.ini"),
        data + "/Zentrik/Brelko Software/Morvex.ini");
#endif
}

void TestSettings::keyPathRule()
{
#ifdef BRELKO_CONFIGURATOR
    QCOMPARE(store()->keyPath(Settings::Language, Settings::General), QString("Language"));
    QCOMPARE(store()->keyPath(Settings::IPAddress, Settings::Networking), QString("Networking/IPAddress"));
    QCOMPARE(int(Settings::PermEnable0), 16);
    QCOMPARE(Settings::permKey(3, 0), 16 + 21);
    QCOMPARE(store()->keyPath(Settings::Key(Settings::permKey(6, 6)), Settings::Permission),
        QString("Permission/PermAudio6"));
#else
    QCOMPARE(int(Settings::WinKeyParameters), 26);
    QCOMPARE(int(Settings::ZeroLevelEnable), 22);
    QCOMPARE(store()->keyPath(Settings::Language, Settings::General), QString("Language"));
    QCOMPARE(store()->keyPath(Settings::Serial_3, Settings::Serial), QString("Serial/Serial_3"));
    QCOMPARE(
        store()->keyPath(Settings::WinKeyParameters, Settings::WinKey), QString("WinKey/WinKeyParameters"));
#endif
    // A value outside the enumeration has no name: the other name alone remains.
    QCOMPARE(store()->keyPath(Settings::Key(999), Settings::Section(1)),
        QString::fromLatin1(QMetaEnum::fromType<Settings::Section>().valueToKey(1)));
}

void TestSettings::writesLandInIniGroups()
{
#ifdef BRELKO_CONFIGURATOR
    (*store())(Settings::IncomingTcpPort, Settings::Connection) = 5000;
    (*store())(Settings::Language) = QStringLiteral("deutsch");
    const QString group = "Connection", key = "IncomingTcpPort";
#else
    (*store())(Settings::NetworkCmdPort, Settings::Network) = 5000;
    (*store())(Settings::Language) = QStringLiteral("deutsch");
    const QString group = "Network", key = "NetworkCmdPort";
#endif
    store()->sync();
    QSettings raw(store()->fileName(), QSettings::IniFormat);
    // Top-level keys live in the INI group "General", which QSettings hides.
    QCOMPARE(raw.childGroups(), QStringList { group });
    QCOMPARE(raw.value(group + "/" + key).toInt(), 5000);
    QCOMPARE(raw.value("Language").toString(), QString("deutsch"));

    // The file text itself.
    QFile f(store()->fileName());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(text.contains("[" + group.toLatin1() + "]\n" + key.toLatin1() + "=5000"));
    QVERIFY(text.contains("[General]\nLanguage=deutsch"));
}

void TestSettings::defaultsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("expected");
#ifdef BRELKO_CONFIGURATOR
    const QString key = "DDNSaddress", sect = "DDNS", other = "WiFi";
#else
    const QString key = "Home", sect = "Audio", other = "Network";
#endif
    QTest::newRow("valid general entry") << key + ": word;" << key << QVariant(QString("word"));
    QTest::newRow("section and key both members")
        << sect + "/" + key + " : value text  ;" << sect + "/" + key << QVariant(QString("value text"));
    QTest::newRow("trailing blanks dropped, url kept")
        << key + ":   http://www.x.example/a   " << key << QVariant(QString("http://www.x.example/a"));
    QTest::newRow("unknown section skipped") << "Bogus/" + key + ": v"
                                             << "Bogus/" + key << QVariant();
    QTest::newRow("unknown key skipped") << other + "/NoSuchKey: v" << other + "/NoSuchKey" << QVariant();
    QTest::newRow("missing colon skipped") << key + " value" << key << QVariant();
    QTest::newRow("empty value skipped") << key + ":  ;" << key << QVariant();
    QTest::newRow("second of several entries")
        << "Bogus: 1; " + key + ": two; ;;" << key << QVariant(QString("two"));
    QTest::newRow("garbage") << QString::fromUtf8("\xff\xfe;;;///:::\n\t;") << key << QVariant();
}

void TestSettings::defaultsText()
{
    QFETCH(QString, text);
    QFETCH(QString, path);
    QFETCH(QVariant, expected);
    // Start from a clean defaults map for the path.
    store()->loadDefaults(path + ": placeholder");
    store()->loadDefaults(text);
    const QVariant got = store()->defaultValue(path);
    if (expected.isValid())
        QCOMPARE(got, expected);
    else
        QVERIFY2(got.toString() == "placeholder" || !got.isValid(), qPrintable(got.toString()));
}

void TestSettings::fileValueWinsOverDefault()
{
#ifdef BRELKO_CONFIGURATOR
    const auto key = Settings::DDNSlogin;
    const auto sect = Settings::DDNS;
    store()->loadDefaults("DDNS/DDNSlogin: fallback");
#else
    const auto key = Settings::AudioCodec;
    const auto sect = Settings::Audio;
    store()->loadDefaults("Audio/AudioCodec: fallback");
#endif
    QCOMPARE(store()->value(key, sect).toString(), QString("fallback"));
    (*store())(key, sect) = QStringLiteral("stored");
    QCOMPARE(store()->value(key, sect).toString(), QString("stored"));
    const QVariant viaRef = (*store())(key, sect);
    QCOMPARE(viaRef.toString(), QString("stored"));
    // Nothing registered and nothing stored: an invalid variant.
    QVERIFY(!store()->value(Settings::Key(2), Settings::Section(4)).isValid());
}

#ifdef BRELKO_CONFIGURATOR
void TestSettings::setFileKeepsOrReplaces()
{
    const QString first = store()->fileName();
    (*store())(Settings::NetworkName, Settings::WiFi) = QStringLiteral("home-net");
    store()->setFile(first);
    QCOMPARE(store()->fileName(), first);
    QCOMPARE(store()->value(Settings::NetworkName, Settings::WiFi).toString(), QString("home-net"));

    const QString other = m_dir.filePath("sub/dir/export.ini");
    store()->setFile(other);
    QCOMPARE(store()->fileName(), other);
    // Reads now come from the new file only.
    QVERIFY(!store()->value(Settings::NetworkName, Settings::WiFi).isValid());
    (*store())(Settings::IPAddress, Settings::Networking) = QStringLiteral("192.168.1.10");
    store()->sync();
    QCOMPARE(mode(other), QString("600")); // missing folders are created on write
    store()->setFile(first);
    QCOMPARE(store()->value(Settings::NetworkName, Settings::WiFi).toString(), QString("home-net"));
    QVERIFY(!store()->value(Settings::IPAddress, Settings::Networking).isValid());
}

void TestSettings::setFileSamePathRereads()
{
    // Imported, edited in a text editor, imported again: the edit counts.
    const QString path = m_dir.filePath("import.ini");
    store()->setFile(path);
    (*store())(Settings::NetworkName, Settings::WiFi) = QStringLiteral("home-net");
    store()->sync();
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray text = f.readAll();
    f.close();
    QVERIFY(text.contains("home-net"));
    text.replace("home-net", "cabin");
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    f.close();
    store()->setFile(path);
    QCOMPARE(store()->value(Settings::NetworkName, Settings::WiFi).toString(), QString("cabin"));
    store()->setFile(m_dir.filePath("store.ini"));
}

void TestSettings::corruptFileReadsAsDefaults()
{
    const QString bad = m_dir.filePath("corrupt.ini");
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\x00\xff[[[=\n=\n[Connection\nIncomingTcpPort\x00=\xfe\n", 40));
    f.close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Settings: cannot read .*corrupt.ini"));
    store()->setFile(bad);
    QVERIFY(!store()->value(Settings::IncomingTcpPort, Settings::Connection).isValid());

    // A folder where the file should be cannot be read either.
    const QString folder = m_dir.filePath("adir.ini");
    QVERIFY(QDir().mkpath(folder));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Settings: cannot read .*adir.ini"));
    store()->setFile(folder);
    QVERIFY(!store()->value(Settings::IncomingTcpPort, Settings::Connection).isValid());
    store()->setFile(m_dir.filePath("store.ini"));
}
#endif

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
