#include "common/languages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

namespace brelko {

namespace {
QVector<LanguageEntry> &catalogue()
{
    static QVector<LanguageEntry> entries;
    return entries;
}

const LanguageEntry *find(const QString &key)
{
    const QVector<LanguageEntry> &all = catalogue();
    if (all.isEmpty())
        return nullptr;
    const QString wanted = key.toLower();
    for (const LanguageEntry &e : all) {
        if (e.nativeName.toLower() == wanted)
            return &e;
    }
    return &all.first();
}
} // namespace

QString translationsPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/translations/");
}

void loadLanguages()
{
    loadLanguagesFrom(
        translationsPath(), QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
}

void loadLanguagesFrom(const QString &folder, const QString &baseName)
{
    QVector<LanguageEntry> &all = catalogue();
    all.clear();

    QDir dir(folder);
    const QString pattern = (baseName + QStringLiteral("_*.qm")).toLower();
    const QStringList files = dir.entryList(QStringList { pattern }, QDir::NoFilter, QDir::Unsorted);

    bool haveEnglish = false;
    for (const QString &name : files) {
        const QString path = dir.absoluteFilePath(name);
        const QString code = QFileInfo(path).completeBaseName().right(2).toLower();
        QTranslator translator;
        if (!translator.load(path))
            continue;
        const QString native = translator.translate("QObject", "English");
        if (native == QLatin1String("English"))
            haveEnglish = true;
        all.append({ native, path, code });
    }
    if (!haveEnglish) {
        all.prepend({ QStringLiteral("English"), dir.absoluteFilePath(baseName + QStringLiteral("_en.qm")),
            QStringLiteral("en") });
    }
}

const QVector<LanguageEntry> &languages()
{
    return catalogue();
}

QString languageName(const QString &key)
{
    const LanguageEntry *e = find(key);
    return e ? e->nativeName : QString();
}

QString languageFile(const QString &key)
{
    const LanguageEntry *e = find(key);
    return e ? e->file : QString();
}

QString languageCode(const QString &key)
{
    const LanguageEntry *e = find(key);
    return e ? e->code : QString();
}

} // namespace brelko
