#include "client/prefs/languagetab.h"

#include "common/languages.h"
#include "common/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QVBoxLayout>

using namespace brelko;

namespace morvex {

LanguageTab::LanguageTab(QWidget *parent)
    : AbstractTab(General, false, parent)
    , m_languages(new QComboBox(this))
    , m_autoRun(new QCheckBox(tr("Run on Windows startup"), this))
{
    auto *form = new QFormLayout;
    form->addRow(tr("Available languages"), m_languages);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_autoRun);
    layout->addStretch();
    fillLanguages();

    connect(m_languages, QOverload<int>::of(&QComboBox::activated), this,
        [this](int idx) { emit switchLanguage(m_languages->itemText(idx)); });
    connect(
        m_languages, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &AbstractTab::dataChanged);
    connect(m_autoRun, &QCheckBox::toggled, this, &AbstractTab::dataChanged);
}

void LanguageTab::fillLanguages()
{
    const QSignalBlocker block(m_languages);
    m_languages->clear();
    const QString english = QStringLiteral("English");
    m_languages->addItem(english);
    for (const LanguageEntry &e : languages()) {
        if (e.nativeName != english)
            m_languages->addItem(e.nativeName);
    }
}

QString LanguageTab::language() const
{
    return m_languages->currentText();
}
bool LanguageTab::autoRun() const
{
    return m_autoRun->isChecked();
}

QStringList LanguageTab::stateFields() const
{
    return { language(), autoRun() ? QStringLiteral("1") : QStringLiteral("0") };
}

void LanguageTab::applyFields(const QStringList &f)
{
    if (f.size() < 2)
        return;
    const int idx = m_languages->findText(f.at(0));
    if (idx >= 0)
        m_languages->setCurrentIndex(idx);
    m_autoRun->setChecked(f.at(1) == QLatin1String("1"));
}

void LanguageTab::saveSettings()
{
    Settings *s = Settings::instance();
    s->setValue(Settings::Language, Settings::General, language());
    s->setValue(Settings::AutoRun, Settings::General, autoRun());
}

void LanguageTab::loadSettings()
{
    Settings *s = Settings::instance();
    const QString lang = s->value(Settings::Language, Settings::General).toString();
    const int idx = m_languages->findText(lang, Qt::MatchFixedString);
    if (idx >= 0)
        m_languages->setCurrentIndex(idx);
    m_autoRun->setChecked(s->value(Settings::AutoRun, Settings::General).toBool());
}

} // namespace morvex
