#pragma once

#include "configurator/abstracttab.h"

#include <array>

class QLabel;
class QLineEdit;
class QSpinBox;

namespace configurator {

class TabBattons;

// "Connection": the device access password and the three incoming ports the
// client program uses (HID parameters 17 to 20).
class ConnectingTab final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectingTab)

public:
    static constexpr int kPasswordMaxLength = 32;

    explicit ConnectingTab(QWidget *parent = nullptr);

    void loadFromSettings() override;
    void saveToSettings() override;
    // Devices with permission slots have no single access password.
    void showPasswordRow(bool show);
    bool isPasswordRowShown() const;

    QLineEdit *passwordEdit() const { return m_passLe; }
    // 0 TCP commands, 1 UDP audio, 2 UDP PTT/CW.
    QSpinBox *portBox(int index) const { return m_ports.at(size_t(index)); }
    TabBattons *buttons() const { return m_buts; }

public slots:
    bool loadData() override;
    void applyData() override;

private:
    QLabel *m_passLbl;
    QLineEdit *m_passLe;
    std::array<QSpinBox *, 3> m_ports {};
    TabBattons *m_buts;
};

} // namespace configurator
