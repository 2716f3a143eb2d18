// Arbitrary defaults texts into the settings store; an entry built from the
// input and appended last must always be registered exactly.
#include "common/settings.h"
#include "fuzz/support/fuzzenv.h"

#include <QCoreApplication>
#include <QMetaEnum>

#include <cstdint>
#include <cstdlib>

using namespace brelko;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzEnv::privateHome();
    FuzzEnv::silenceLog();
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    Settings *s = Settings::instance();
    const QMetaObject &mo = Settings::staticMetaObject;
    const QMetaEnum sections = mo.enumerator(mo.indexOfEnumerator("Section"));
    const QMetaEnum keys = mo.enumerator(mo.indexOfEnumerator("Key"));
    const auto section = Settings::Section(sections.value(data[0] % sections.keyCount()));
    const auto key = Settings::Key(keys.value(data[1] % keys.keyCount()));

    // The value of the appended entry: bytes mapped onto characters a value
    // may hold, starting and ending with a letter or digit.
    static const char kChars[] = "abcXYZ019_ .:-";
    QString value = QStringLiteral("v");
    const size_t valueLen = std::min<size_t>(data[2] % 24, size - 3);
    for (size_t i = 0; i < valueLen; ++i)
        value += QLatin1Char(kChars[data[3 + i] % (sizeof(kChars) - 1)]);
    value += QLatin1Char('0');

    const char *text = reinterpret_cast<const char *>(data + 3 + valueLen);
    const int textLen = int(size - 3 - valueLen);
    const QString path = s->keyPath(key, section);
    FuzzEnv::check(!path.isEmpty());
    for (const QString &fuzzText : { QString::fromUtf8(text, textLen), QString::fromLatin1(text, textLen) }) {
        s->loadDefaults(fuzzText);
        s->loadDefaults(fuzzText + QStringLiteral(";") + path + QStringLiteral(": ") + value);
        FuzzEnv::check(s->defaultValue(path).toString() == value);
    }
    return 0;
}
