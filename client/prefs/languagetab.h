#pragma once

#include "client/prefs/abstracttab.h"

class QCheckBox;
class QComboBox;

namespace morvex {

// User-interface language and start with the desktop session.
class LanguageTab final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LanguageTab)

public:
    explicit LanguageTab(QWidget *parent = nullptr);

    QString language() const;
    bool autoRun() const;
    QComboBox *languageCombo() const { return m_languages; }
    QCheckBox *autoRunBox() const { return m_autoRun; }

signals:
    void switchLanguage(QString nativeName);

public slots:
    void saveSettings() override;
    void loadSettings() override;

protected:
    QStringList stateFields() const override;
    void applyFields(const QStringList &fields) override;

private:
    void fillLanguages();

    QComboBox *m_languages;
    QCheckBox *m_autoRun;
};

} // namespace morvex
