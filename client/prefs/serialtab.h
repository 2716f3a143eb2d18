#pragma once

#include "client/prefs/abstracttab.h"

class QCheckBox;
class QComboBox;

namespace morvex {

// The five virtual COM ports: CAT, PTT/CW, FSK, RS-485, Winkey.
class SerialTab final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialTab)

public:
    static constexpr int kPorts = 5;

    explicit SerialTab(QWidget *parent = nullptr);

    // Port names without "*", in port order.
    QStringList portNames() const;
    QComboBox *combo(int i) const { return m_combos[i]; }
    // "Make the ports visible to Wine" (Serial/WineLinks).
    QCheckBox *wineBox() const { return m_wine; }
    bool wineLinks() const;

public slots:
    void resetAllPorts();
    void saveSettings() override;
    void loadSettings() override;

protected:
    QStringList stateFields() const override;
    void applyFields(const QStringList &fields) override;

private:
    void fillLists();
    void select(QComboBox *combo, const QString &name);

    QComboBox *m_combos[kPorts];
    QCheckBox *m_wine;
};

} // namespace morvex
