#pragma once

#include <QObject>

class QTranslator;

namespace brelko {

// The two translators of a program: Qt's own texts and the program's. Each is
// created and installed on first use and reloaded on later switches.
class TranslatorPair final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TranslatorPair)

public:
    explicit TranslatorPair(QObject *parent = nullptr);

    // Loads "qt_<code>.qm" and the language's own file (looked up by native
    // name in the language catalogue) from the translations folder.
    void switchTo(const QString &nativeName);

private:
    QTranslator *m_qt = nullptr;
    QTranslator *m_app = nullptr;
};

} // namespace brelko
