#pragma once

#include "configurator/abstracttab.h"

class QComboBox;
class QLineEdit;

namespace configurator {

class TabBattons;

// "Wi-Fi": the network the Brelko joins (HID parameters 8 and 9).
class WiFiTab final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WiFiTab)

public:
    // The name field holds 62 bytes on the device; one stays free for the NUL.
    static constexpr int kNameMaxLength = 61;
    static constexpr int kPasswordMaxLength = 60;

    explicit WiFiTab(QWidget *parent = nullptr);

    void loadFromSettings() override;
    void saveToSettings() override;

    QComboBox *nameBox() const { return m_nameCb; }
    QLineEdit *passwordEdit() const { return m_passLe; }
    TabBattons *buttons() const { return m_buts; }

public slots:
    bool loadData() override;
    void applyData() override;

protected:
    void reportFailure(Failure failure, const QString &hidError) override;

private:
    // Selects the item with exactly this text, or inserts it on top.
    void setNetworkName(const QString &name);

    QComboBox *m_nameCb;
    QLineEdit *m_passLe;
    TabBattons *m_buts;
};

} // namespace configurator
