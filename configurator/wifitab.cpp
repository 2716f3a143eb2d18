#include "configurator/wifitab.h"

#include "common/settings.h"
#include "configurator/hidreport.h"
#include "configurator/tabbattons.h"

#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

using namespace brelko;

namespace configurator {

WiFiTab::WiFiTab(QWidget *parent)
    : AbstractTab(parent)
    , m_nameCb(new QComboBox(this))
    , m_passLe(new QLineEdit(this))
    , m_buts(new TabBattons(this))
{
    m_nameCb->setEditable(true);
    m_nameCb->setMaximumWidth(250);
    m_nameCb->lineEdit()->setMaxLength(kNameMaxLength);
    m_passLe->setMaxLength(kPasswordMaxLength);
    m_passLe->setMaximumWidth(250);
    m_passLe->setEchoMode(QLineEdit::Normal);

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Wireless network name:"), this), 0, 0);
    grid->addWidget(m_nameCb, 0, 1);
    grid->addWidget(new QLabel(tr("Wireless network password:"), this), 1, 0);
    grid->addWidget(m_passLe, 1, 1);
    grid->setColumnStretch(2, 1);

    placeForm(grid, m_buts);
}

void WiFiTab::setNetworkName(const QString &name)
{
    int index = m_nameCb->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        m_nameCb->insertItem(0, name);
        index = 0;
    }
    m_nameCb->setCurrentIndex(index);
}

bool WiFiTab::loadData()
{
    if (!openDevice())
        return false;
    QByteArray response;
    if (!query(HidReport::getRequest(HidReport::WifiNetworkName), &response))
        return false;
    setNetworkName(HidReport::stringAt(response, 1, true));
    if (!query(HidReport::getRequest(HidReport::WifiPassword), &response))
        return false;
    m_passLe->setText(HidReport::stringAt(response, 1, true));
    finish(m_restoredMsg);
    return true;
}

void WiFiTab::applyData()
{
    if (!openDevice())
        return;
    QByteArray report = HidReport::setRequest(HidReport::WifiNetworkName);
    if (!HidReport::putString(report, m_nameCb->currentText()))
        qWarning() << "WiFiTab: network name cut to" << HidReport::kStringField - 1 << "bytes";
    if (!writeRequest(report))
        return;
    report = HidReport::setRequest(HidReport::WifiPassword);
    HidReport::putString(report, m_passLe->text());
    if (!writeRequest(report))
        return;
    finish(m_appliedMsg);
}

void WiFiTab::reportFailure(Failure failure, const QString &hidError)
{
    if (failure != Failure::Open)
        qWarning().noquote() << "Error:" << hidError << "in WiFi tab.";
    AbstractTab::reportFailure(failure, hidError);
}

void WiFiTab::loadFromSettings()
{
    Settings *s = Settings::instance();
    const QVariant name = s->value(Settings::NetworkName, Settings::WiFi);
    const QVariant password = s->value(Settings::NetworkPassword, Settings::WiFi);
    if (name.isValid())
        setNetworkName(name.toString());
    if (password.isValid())
        m_passLe->setText(password.toString());
}

void WiFiTab::saveToSettings()
{
    Settings *s = Settings::instance();
    (*s)(Settings::NetworkName, Settings::WiFi) = m_nameCb->currentText();
    (*s)(Settings::NetworkPassword, Settings::WiFi) = m_passLe->text();
}

} // namespace configurator
