#pragma once

#include <QString>
#include <QVector>

namespace brelko {

// One user-interface language: its name in itself, its .qm file and its code.
struct LanguageEntry
{
    QString nativeName;
    QString file;
    QString code;
};

// Absolute path of "translations/" beside the program file.
QString translationsPath();
// Rebuilds the catalogue from <program>_*.qm files in translationsPath().
void loadLanguages();
// Same, from another folder and program base name (used by tests and tools).
void loadLanguagesFrom(const QString &folder, const QString &baseName);
const QVector<LanguageEntry> &languages();

// Look-up by native name, case-insensitive; the first entry answers when
// nothing matches. Empty strings when the catalogue is empty.
QString languageName(const QString &key);
QString languageFile(const QString &key);
QString languageCode(const QString &key);

} // namespace brelko
