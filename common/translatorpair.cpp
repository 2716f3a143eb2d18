#include "common/translatorpair.h"

#include "common/languages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTranslator>

namespace brelko {

TranslatorPair::TranslatorPair(QObject *parent)
    : QObject(parent)
{
}

void TranslatorPair::switchTo(const QString &nativeName)
{
    const QString code = languageCode(nativeName);
    const QString file = languageFile(nativeName);
    if (!m_qt) {
        m_qt = new QTranslator(this);
        QCoreApplication::installTranslator(m_qt);
    }
    if (!m_app) {
        m_app = new QTranslator(this);
        QCoreApplication::installTranslator(m_app);
    }
    if (!code.isEmpty())
        m_qt->load(QStringLiteral("qt_") + code + QStringLiteral(".qm"), translationsPath());
    if (!file.isEmpty())
        m_app->load(file);
    // Reloading an installed translator does not announce itself.
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &change);
}

} // namespace brelko
