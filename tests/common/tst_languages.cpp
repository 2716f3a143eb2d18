#include "common/languages.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace brelko;

namespace {
// Writes a .ts with the given translation of "English" and compiles it with lrelease.
bool makeQm(const QString &dir, const QString &base, const QString &native)
{
    const QString ts = dir + "/" + base + ".ts";
    QFile f(ts);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n"
                           "<TS version=\"2.1\"><context><name>QObject</name>"
                           "<message><source>English</source><translation>%1</translation></message>"
                           "</context></TS>\n")
                .arg(native)
                .toUtf8());
    f.close();
    QProcess lrelease;
    lrelease.start(QStringLiteral(LRELEASE_PATH), { "-silent", ts, "-qm", dir + "/" + base + ".qm" });
    if (!lrelease.waitForFinished(30000) || lrelease.exitCode() != 0)
        return false;
    QFile::remove(ts);
    return true;
}

QStringList names()
{
    QStringList out;
    for (const LanguageEntry &e : languages())
        out << e.nativeName;
    return out;
}
} // namespace

class TestLanguages : public QObject
{
    Q_OBJECT

private slots:
    void englishInsertedFirst();
    void englishFileKeepsListingOrder();
    void lookUp_data();
    void lookUp();
    void emptyFolderAndProgramPath();
};

void TestLanguages::englishInsertedFirst()
{
    QTemporaryDir dir;
    QVERIFY(makeQm(dir.path(), "morvex_de", "Deutsch"));
    QVERIFY(makeQm(dir.path(), "morvex_ru", QString::fromUtf8("Русский")));
    QVERIFY(makeQm(dir.path(), "other_fr", QString::fromUtf8("Français"))); // another program's file
    loadLanguagesFrom(dir.path(), "Morvex"); // pattern is lower-cased

    const QStringList listed = QDir(dir.path()).entryList({ "morvex_*.qm" }, QDir::NoFilter, QDir::Unsorted);
    QCOMPARE(languages().size(), 3);
    QCOMPARE(languages().first().nativeName, QString("English"));
    QCOMPARE(languages().first().code, QString("en"));
    QCOMPARE(languages().first().file, QDir(dir.path()).absoluteFilePath("Morvex_en.qm"));
    for (int i = 0; i < listed.size(); ++i) {
        const LanguageEntry &e = languages().at(i + 1);
        QCOMPARE(e.file, QDir(dir.path()).absoluteFilePath(listed.at(i)));
        QCOMPARE(e.code, listed.at(i).mid(7, 2));
    }
    QVERIFY(names().contains("Deutsch"));
}

void TestLanguages::englishFileKeepsListingOrder()
{
    QTemporaryDir dir;
    QVERIFY(makeQm(dir.path(), "morvex_de", "Deutsch"));
    QVERIFY(makeQm(dir.path(), "morvex_en", "English"));
    loadLanguagesFrom(dir.path(), "morvex");
    const QStringList listed = QDir(dir.path()).entryList({ "morvex_*.qm" }, QDir::NoFilter, QDir::Unsorted);
    QCOMPARE(languages().size(), 2);
    QStringList expected;
    for (const QString &f : listed)
        expected << (f.contains("_de") ? "Deutsch" : "English");
    QCOMPARE(names(), expected);
}

void TestLanguages::lookUp_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::newRow("exact") << "Deutsch"
                           << "Deutsch"
                           << "de";
    QTest::newRow("case-insensitive") << "deutsch"
                                      << "Deutsch"
                                      << "de";
    QTest::newRow("locale name matches nothing") << "de_de"
                                                 << "English"
                                                 << "en";
    QTest::newRow("empty") << ""
                           << "English"
                           << "en";
}

void TestLanguages::lookUp()
{
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(QString, code);
    QTemporaryDir dir;
    QVERIFY(makeQm(dir.path(), "morvex_de", "Deutsch"));
    loadLanguagesFrom(dir.path(), "morvex");
    QCOMPARE(languageName(key), name);
    QCOMPARE(languageCode(key), code);
    QVERIFY(languageFile(key).endsWith("morvex_" + code + ".qm"));
}

void TestLanguages::emptyFolderAndProgramPath()
{
    QTemporaryDir dir;
    loadLanguagesFrom(dir.path(), "morvex");
    QCOMPARE(names(), QStringList { "English" });
    // A broken file is left out instead of giving a nameless entry.
    QFile junk(dir.filePath("morvex_xx.qm"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not a catalogue");
    junk.close();
    loadLanguagesFrom(dir.path(), "morvex");
    QCOMPARE(names(), QStringList { "English" });

    QCOMPARE(translationsPath(), QCoreApplication::applicationDirPath() + "/translations/");
}

QTEST_GUILESS_MAIN(TestLanguages)
#include "tst_languages.moc"
