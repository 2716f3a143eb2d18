#pragma once

#include "configurator/abstracttab.h"

#include <array>

namespace configurator {

class IpAddressField;
class TabBattons;

// "Networking": the Brelko's IPv4 address, mask, gateway and DNS server
// (HID parameters 13 to 16, in that order).
class IfNetworkTab final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IfNetworkTab)

public:
    explicit IfNetworkTab(QWidget *parent = nullptr);

    void loadFromSettings() override;
    void saveToSettings() override;
    IpAddressField *field(int index) const { return m_fields.at(size_t(index)); }
    TabBattons *buttons() const { return m_buts; }

public slots:
    bool loadData() override;
    void applyData() override;

private:
    std::array<IpAddressField *, 4> m_fields {};
    TabBattons *m_buts;
};

} // namespace configurator
