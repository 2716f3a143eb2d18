#pragma once

#include "configurator/abstracttab.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace configurator {

class TabBattons;

// "DDNS": the Brelko's dynamic DNS client: on/off, service, host name, login
// and password (HID parameters 21 to 25).
class DdnsTab final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DdnsTab)

public:
    explicit DdnsTab(QWidget *parent = nullptr);

    void loadFromSettings() override;
    void saveToSettings() override;

    QCheckBox *useBox() const { return m_useChb; }
    QComboBox *serviceBox() const { return m_serviceCb; }
    QLineEdit *addressEdit() const { return m_addressLe; }
    QLineEdit *loginEdit() const { return m_loginLe; }
    QLineEdit *passwordEdit() const { return m_passLe; }
    TabBattons *buttons() const { return m_buts; }

public slots:
    bool loadData() override;
    void applyData() override;
    void changedDynDNS(bool on);

private:
    // Selects the item carrying the service number; an unknown one changes nothing.
    void selectService(uint service);
    bool putText(QByteArray &report, const QLineEdit *edit, const char *what);

    QCheckBox *m_useChb;
    QComboBox *m_serviceCb;
    QLineEdit *m_addressLe;
    QLineEdit *m_loginLe;
    QLineEdit *m_passLe;
    TabBattons *m_buts;
};

} // namespace configurator
