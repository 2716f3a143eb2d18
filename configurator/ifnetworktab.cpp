#include "configurator/ifnetworktab.h"

#include "common/settings.h"
#include "configurator/hidreport.h"
#include "configurator/ipaddressfield.h"
#include "configurator/tabbattons.h"

#include <QHostAddress>
#include <QVBoxLayout>
#include <QtEndian>

using namespace brelko;

namespace configurator {

namespace {
constexpr quint8 kFirstParam = HidReport::IpAddress;
const Settings::Key kKeys[4]
    = { Settings::IPAddress, Settings::MaskAddress, Settings::GatewayAddress, Settings::DNSAddress };
} // namespace

IfNetworkTab::IfNetworkTab(QWidget *parent)
    : AbstractTab(parent)
    , m_buts(new TabBattons(this))
{
    auto *column = new QVBoxLayout(this);
    const QString captions[4] = { tr("IP address:"), tr("IP mask:"), tr("Gateway:"), tr("DNS:") };
    for (size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i] = new IpAddressField(this);
        m_fields[i]->setCaption(captions[i]);
        column->addWidget(m_fields[i]);
    }
    column->addStretch();
    column->addWidget(m_buts);
    connectButtons(m_buts);
}

bool IfNetworkTab::loadData()
{
    if (!openDevice())
        return false;
    for (int i = 0; i < 4; ++i) {
        QByteArray response;
        if (!query(HidReport::getRequest(quint8(kFirstParam + i)), &response))
            return false;
        // The echo, not the request, decides which field the answer fills.
        const int echoed = HidReport::u8At(response, 0);
        if (echoed < kFirstParam || echoed > kFirstParam + 3)
            continue;
        m_fields[size_t(echoed - kFirstParam)]->setAddress(HidReport::u32At(response, 1));
    }
    finish(m_restoredMsg);
    return true;
}

void IfNetworkTab::applyData()
{
    if (!openDevice())
        return;
    for (int i = 0; i < 4; ++i) {
        QByteArray report = HidReport::setRequest(quint8(kFirstParam + i));
        HidReport::putU32(report, m_fields[size_t(i)]->address());
        if (!writeRequest(report))
            return;
    }
    finish(m_appliedMsg);
}

void IfNetworkTab::loadFromSettings()
{
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const QVariant value = Settings::instance()->value(kKeys[i], Settings::Networking);
        if (!value.isValid())
            continue; // a file without the key keeps what the field shows
        const QString text = value.toString();
        QHostAddress addr;
        quint32 hostOrder = 0;
        if (addr.setAddress(text) && addr.protocol() == QAbstractSocket::IPv4Protocol)
            hostOrder = addr.toIPv4Address();
        // Host order has the first octet most significant; the field wants it in byte 0.
        m_fields[i]->setAddress(qbswap(hostOrder));
    }
}

void IfNetworkTab::saveToSettings()
{
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const QHostAddress addr(qbswap(m_fields[i]->address()));
        (*Settings::instance())(kKeys[i], Settings::Networking) = addr.toString();
    }
}

} // namespace configurator
