#include "configurator/ddnstab.h"

#include "common/settings.h"
#include "configurator/hidreport.h"
#include "configurator/tabbattons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <utility>

using namespace brelko;

namespace configurator {

DdnsTab::DdnsTab(QWidget *parent)
    : AbstractTab(parent)
    , m_useChb(new QCheckBox(this))
    , m_serviceCb(new QComboBox(this))
    , m_addressLe(new QLineEdit(this))
    , m_loginLe(new QLineEdit(this))
    , m_passLe(new QLineEdit(this))
    , m_buts(new TabBattons(this))
{
    m_serviceCb->addItem(tr("No-IP (") + QStringLiteral("www.noip.com") + QStringLiteral(")"), 0u);
    m_passLe->setEchoMode(QLineEdit::Normal);

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Use dynamic DNS:"), this), 0, 0);
    grid->addWidget(m_useChb, 0, 1);
    grid->addWidget(new QLabel(tr("Choose service:"), this), 1, 0);
    grid->addWidget(m_serviceCb, 1, 1);
    grid->addWidget(new QLabel(tr("Dynamic DNS address:"), this), 2, 0);
    grid->addWidget(m_addressLe, 2, 1);
    grid->addWidget(new QLabel(tr("Dynamic DNS login:"), this), 3, 0);
    grid->addWidget(m_loginLe, 3, 1);
    grid->addWidget(new QLabel(tr("Dynamic DNS password:"), this), 4, 0);
    grid->addWidget(m_passLe, 4, 1);
    grid->setColumnStretch(2, 1);

    placeForm(grid, m_buts);

    connect(m_useChb, &QCheckBox::toggled, this, &DdnsTab::changedDynDNS);
    changedDynDNS(m_useChb->isChecked());
}

void DdnsTab::changedDynDNS(bool on)
{
    m_addressLe->setEnabled(on);
    m_loginLe->setEnabled(on);
    m_passLe->setEnabled(on);
    m_serviceCb->setEnabled(on);
}

void DdnsTab::selectService(uint service)
{
    for (int i = 0; i < m_serviceCb->count(); ++i) {
        if (m_serviceCb->itemData(i).toUInt() == service) {
            m_serviceCb->setCurrentIndex(i);
            return;
        }
    }
}

bool DdnsTab::loadData()
{
    if (!openDevice())
        return false;
    for (int param = HidReport::DdnsEnabled; param <= HidReport::DdnsPassword; ++param) {
        QByteArray response;
        if (!query(HidReport::getRequest(quint8(param)), &response))
            return false;
        switch (HidReport::u8At(response, 0)) {
        case HidReport::DdnsEnabled: {
            const bool on = HidReport::u8At(response, 1) != 0;
            m_useChb->setChecked(on);
            changedDynDNS(on);
            break;
        }
        case HidReport::DdnsService:
            selectService(HidReport::u8At(response, 1));
            break;
        case HidReport::DdnsAddress:
            m_addressLe->setText(HidReport::stringAt(response, 1, false));
            break;
        case HidReport::DdnsLogin:
            m_loginLe->setText(HidReport::stringAt(response, 1, false));
            break;
        case HidReport::DdnsPassword:
            m_passLe->setText(HidReport::stringAt(response, 1, false));
            break;
        default:
            break;
        }
    }
    finish(m_restoredMsg);
    return true;
}

bool DdnsTab::putText(QByteArray &report, const QLineEdit *edit, const char *what)
{
    // The field holds 61 characters and its NUL; a longer text is cut.
    if (!HidReport::putString(report, edit->text()))
        qWarning() << "DdnsTab:" << what << "cut to" << HidReport::kStringField - 1 << "bytes";
    return writeRequest(report);
}

void DdnsTab::applyData()
{
    if (!openDevice())
        return;
    QByteArray report = HidReport::setRequest(HidReport::DdnsEnabled);
    report[3] = char(m_useChb->isChecked() ? 1 : 0);
    if (!writeRequest(report))
        return;
    report = HidReport::setRequest(HidReport::DdnsService);
    report[3] = char(quint8(m_serviceCb->currentData().toUInt()));
    if (!writeRequest(report))
        return;
    report = HidReport::setRequest(HidReport::DdnsAddress);
    if (!putText(report, m_addressLe, "address"))
        return;
    report = HidReport::setRequest(HidReport::DdnsLogin);
    if (!putText(report, m_loginLe, "login"))
        return;
    report = HidReport::setRequest(HidReport::DdnsPassword);
    if (!putText(report, m_passLe, "password"))
        return;
    finish(m_appliedMsg);
}

void DdnsTab::loadFromSettings()
{
    Settings *s = Settings::instance();
    // A key the file lacks keeps what the tab shows.
    m_useChb->setChecked(settingBool(s->value(Settings::UseDDNS, Settings::DDNS), m_useChb->isChecked()));
    const QVariant service = s->value(Settings::DDNSservice, Settings::DDNS);
    if (service.isValid())
        selectService(settingUInt(service, 0xFFFFFFFFu));
    const std::pair<Settings::Key, QLineEdit *> texts[] = { { Settings::DDNSaddress, m_addressLe },
        { Settings::DDNSlogin, m_loginLe }, { Settings::DDNSpassword, m_passLe } };
    for (const auto &t : texts) {
        const QVariant v = s->value(t.first, Settings::DDNS);
        if (v.isValid())
            t.second->setText(v.toString());
    }
}

void DdnsTab::saveToSettings()
{
    Settings *s = Settings::instance();
    (*s)(Settings::UseDDNS, Settings::DDNS) = m_useChb->isChecked();
    (*s)(Settings::DDNSservice, Settings::DDNS) = m_serviceCb->currentData().toUInt();
    (*s)(Settings::DDNSaddress, Settings::DDNS) = m_addressLe->text();
    (*s)(Settings::DDNSlogin, Settings::DDNS) = m_loginLe->text();
    (*s)(Settings::DDNSpassword, Settings::DDNS) = m_passLe->text();
}

} // namespace configurator
