#include "configurator/connectingtab.h"

#include "common/settings.h"
#include "configurator/hidreport.h"
#include "configurator/tabbattons.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

using namespace brelko;

namespace configurator {

namespace {
const Settings::Key kPortKeys[3]
    = { Settings::IncomingTcpPort, Settings::IncomingUdpPort, Settings::IncomingUdpCwPort };
} // namespace

ConnectingTab::ConnectingTab(QWidget *parent)
    : AbstractTab(parent)
    , m_passLbl(new QLabel(tr("Device access password:"), this))
    , m_passLe(new QLineEdit(this))
    , m_buts(new TabBattons(this))
{
    m_passLe->setMaxLength(kPasswordMaxLength);
    m_passLe->setMaximumWidth(250);
    m_passLe->setEchoMode(QLineEdit::Normal);

    auto *grid = new QGridLayout;
    grid->addWidget(m_passLbl, 0, 0);
    grid->addWidget(m_passLe, 0, 1);
    const QString captions[3] = { tr("Incoming TCP port (commands):"), tr("Incoming UDP port (audio):"),
        tr("Incoming UDP port (PTT/CW):") };
    for (size_t i = 0; i < m_ports.size(); ++i) {
        auto *box = new QSpinBox(this);
        box->setRange(0, 65535);
        box->setButtonSymbols(QAbstractSpinBox::NoButtons);
        box->setMaximumWidth(50);
        m_ports[i] = box;
        grid->addWidget(new QLabel(captions[i], this), int(i) + 1, 0);
        grid->addWidget(box, int(i) + 1, 1);
    }
    grid->setColumnStretch(2, 1);

    placeForm(grid, m_buts);
}

void ConnectingTab::showPasswordRow(bool show)
{
    m_passLbl->setVisible(show);
    m_passLe->setVisible(show);
}

bool ConnectingTab::isPasswordRowShown() const
{
    return !m_passLe->isHidden();
}

bool ConnectingTab::loadData()
{
    if (!openDevice())
        return false;
    for (int param = HidReport::AccessPassword; param <= HidReport::UdpPttCwPort; ++param) {
        QByteArray response;
        if (!query(HidReport::getRequest(quint8(param)), &response))
            return false;
        const int echoed = HidReport::u8At(response, 0);
        if (echoed == HidReport::AccessPassword)
            m_passLe->setText(HidReport::stringAt(response, 1, false));
        else if (echoed >= HidReport::TcpCommandPort && echoed <= HidReport::UdpPttCwPort)
            m_ports[size_t(echoed - HidReport::TcpCommandPort)]->setValue(HidReport::u16At(response, 1));
    }
    finish(m_restoredMsg);
    return true;
}

void ConnectingTab::applyData()
{
    if (!openDevice())
        return;
    QByteArray report = HidReport::setRequest(HidReport::AccessPassword);
    HidReport::putString(report, m_passLe->text());
    if (!writeRequest(report))
        return;
    for (size_t i = 0; i < m_ports.size(); ++i) {
        report = HidReport::setRequest(quint8(HidReport::TcpCommandPort + i));
        HidReport::putU16(report, quint16(m_ports[i]->value()));
        if (!writeRequest(report))
            return;
    }
    finish(m_appliedMsg);
}

void ConnectingTab::loadFromSettings()
{
    Settings *s = Settings::instance();
    // A missing key, or a port that is no number from 0 to 65535, keeps the
    // value shown: port 0 would lock the client out.
    const QVariant password = s->value(Settings::AccessPassword, Settings::Connection);
    if (password.isValid())
        m_passLe->setText(password.toString());
    for (size_t i = 0; i < m_ports.size(); ++i)
        m_ports[i]->setValue(
            int(settingUInt(s->value(kPortKeys[i], Settings::Connection), uint(m_ports[i]->value()), 65535)));
}

void ConnectingTab::saveToSettings()
{
    Settings *s = Settings::instance();
    (*s)(Settings::AccessPassword, Settings::Connection) = m_passLe->text();
    for (size_t i = 0; i < m_ports.size(); ++i)
        (*s)(kPortKeys[i], Settings::Connection) = uint(m_ports[i]->value());
}

} // namespace configurator
