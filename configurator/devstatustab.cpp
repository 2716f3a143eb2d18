#include "configurator/devstatustab.h"

#include "configurator/devicestatustext.h"
#include "configurator/hidreport.h"

#include <QDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace configurator {

namespace {
QString link(const QString &words)
{
    return QStringLiteral("<a href=\" \">") + words.toHtmlEscaped() + QStringLiteral("</a>");
}

QLabel *linkLabel(const QString &words, QWidget *parent)
{
    auto *l = new QLabel(link(words), parent);
    l->setTextFormat(Qt::RichText);
    l->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    return l;
}
} // namespace

DevStatusTab::DevStatusTab(QWidget *parent)
    : AbstractTab(parent)
    , m_fwVersionLbl(new QLabel(this))
    , m_hwVersionLbl(new QLabel(this))
    , m_lastErrorLink(linkLabel(tr("Get last error"), this))
    , m_stateLbl(new QLabel(tr("Disconnected"), this))
    , m_rssiLbl(new QLabel(this))
    , m_macLbl(new QLabel(QStringLiteral("0x04 0xB8 0x95 0x56 0x22 0x89"), this))
    , m_ipLbl(new QLabel(QStringLiteral("192.168.1.7"), this))
    , m_maskLbl(new QLabel(QStringLiteral("255.255.255.0"), this))
    , m_gatewayLbl(new QLabel(QStringLiteral("192.168.1.1"), this))
    , m_dnsLbl(new QLabel(QStringLiteral("192.168.1.1"), this))
    , m_ddnsLbl(new QLabel(this))
    , m_moreInfoLink(linkLabel(tr("More info..."), this))
    , m_errorWindow(new QDialog(this))
    , m_errorText(new QPlainTextEdit(m_errorWindow))
    , m_detailBox(new QMessageBox(this))
    , m_pollTimer(new QTimer(this))
{
    m_pollTimer->setInterval(kPollIntervalMs);

    auto *device = new QFormLayout;
    device->addRow(tr("Device:"), new QLabel(QStringLiteral("Brelko-1"), this));
    device->addRow(tr("Hardware version: "), m_hwVersionLbl);
    device->addRow(tr("Firmware version: "), m_fwVersionLbl);
    device->addRow(m_lastErrorLink);

    auto *wireless = new QGroupBox(tr("Wireless state"), this);
    auto *wirelessForm = new QFormLayout(wireless);
    wirelessForm->addRow(m_stateLbl);
    wirelessForm->addRow(tr("Signal level (RSSI):"), m_rssiLbl);

    auto *network = new QGroupBox(tr("Current network settings"), this);
    auto *networkForm = new QFormLayout(network);
    networkForm->addRow(tr("MAC address:"), m_macLbl);
    networkForm->addRow(tr("IP address:"), m_ipLbl);
    networkForm->addRow(tr("Mask:"), m_maskLbl);
    networkForm->addRow(tr("Gateway address:"), m_gatewayLbl);
    networkForm->addRow(tr("DNS address:"), m_dnsLbl);

    auto *ddns = new QGroupBox(tr("Dynamic DNS"), this);
    auto *ddnsRow = new QHBoxLayout(ddns);
    ddnsRow->addWidget(new QLabel(tr("Dynamic DNS:"), ddns));
    ddnsRow->addWidget(m_ddnsLbl);
    ddnsRow->addWidget(m_moreInfoLink);
    ddnsRow->addStretch();

    auto *column = new QVBoxLayout(this);
    column->addLayout(device);
    column->addWidget(wireless);
    column->addWidget(network);
    column->addWidget(ddns);
    column->addStretch();

    m_errorWindow->setWindowTitle(tr("Last error"));
    m_errorText->setReadOnly(true);
    auto *close = new QPushButton(tr("Close"), m_errorWindow);
    auto *errorColumn = new QVBoxLayout(m_errorWindow);
    errorColumn->addWidget(m_errorText);
    auto *errorButtons = new QHBoxLayout;
    errorButtons->addStretch();
    errorButtons->addWidget(close);
    errorColumn->addLayout(errorButtons);
    m_errorWindow->resize(360, 320);
    connect(close, &QPushButton::clicked, m_errorWindow, &QDialog::close);

    m_detailBox->setWindowTitle(tr("Dynamic DNS"));
    m_detailBox->setStandardButtons(QMessageBox::Ok);

    connect(m_lastErrorLink, &QLabel::linkActivated, this, &DevStatusTab::showLastError);
    connect(m_moreInfoLink, &QLabel::linkActivated, m_detailBox, &QMessageBox::show);
    connect(m_pollTimer, &QTimer::timeout, this, &DevStatusTab::updateWiFiState);
}

void DevStatusTab::startPolling()
{
    m_pollTimer->start(kPollIntervalMs);
    updateWiFiState();
}

void DevStatusTab::stopPolling()
{
    m_pollTimer->stop();
}

bool DevStatusTab::isPolling() const
{
    return m_pollTimer->isActive();
}

bool DevStatusTab::loadData()
{
    if (!openDevice())
        return false;
    QByteArray response;
    for (int param = HidReport::MacAddress; param <= HidReport::DnsServer; ++param) {
        if (!query(HidReport::getRequest(quint8(param)), &response))
            return false;
        switch (HidReport::u8At(response, 0)) {
        case HidReport::MacAddress:
            m_macLbl->setText(DeviceStatusText::mac(response));
            break;
        case HidReport::IpAddress:
            m_ipLbl->setText(DeviceStatusText::ipv4(response));
            break;
        case HidReport::IpMask:
            m_maskLbl->setText(DeviceStatusText::ipv4(response));
            break;
        case HidReport::Gateway:
            m_gatewayLbl->setText(DeviceStatusText::ipv4(response));
            break;
        case HidReport::DnsServer:
            m_dnsLbl->setText(DeviceStatusText::ipv4(response));
            break;
        default:
            break;
        }
    }
    if (!query(HidReport::getRequest(HidReport::FirmwareVersion), &response))
        return false;
    m_fwVersionLbl->setText(DeviceStatusText::firmwareVersion(response));
    if (!query(HidReport::getRequest(HidReport::HardwareVersion), &response))
        return false;
    m_hwVersionLbl->setText(DeviceStatusText::hardwareVersion(response));
    closeDevice();
    updateWiFiState();
    return true;
}

void DevStatusTab::updateWiFiState()
{
    // A failure box waits in its own event loop while the timer goes on:
    // one refresh at a time, or the boxes would pile up.
    if (m_refreshing)
        return;
    m_refreshing = true;
    [this] {
        if (!openDevice())
            return;
        QByteArray response;
        if (!query(HidReport::getRequest(HidReport::SignalStrength), &response))
            return;
        m_rssiLbl->setText(QString::number(qint32(HidReport::u32At(response, 1))) + tr(" dBm"));
        if (!query(HidReport::getRequest(HidReport::WifiLinkState), &response))
            return;
        const quint32 state = HidReport::u32At(response, 1);
        if (!query(HidReport::getRequest(HidReport::WifiNetworkName), &response))
            return;
        const QString name = HidReport::stringAt(response, 1, true);
        switch (state) {
        case 0:
            m_rssiLbl->clear();
            m_stateLbl->setText(tr("Disconnected"));
            break;
        case 1:
            m_rssiLbl->clear();
            m_stateLbl->setText(tr("Connecting to: ") + name);
            break;
        case 2:
            m_stateLbl->setText(tr("Connected to: ") + name);
            break;
        default:
            break;
        }
        if (!query(HidReport::getRequest(HidReport::MacAddress), &response))
            return;
        m_macLbl->setText(DeviceStatusText::mac(response));
        closeDevice();
        updateDdnsResult();
    }();
    m_refreshing = false;
}

bool DevStatusTab::updateDdnsResult()
{
    if (!openDevice())
        return false;
    QByteArray response;
    if (!query(HidReport::getRequest(HidReport::DdnsEnabled), &response))
        return false;
    QString answer = DeviceStatusText::ddnsDisabledMarker();
    if (HidReport::u8At(response, 1) != 0) {
        if (!query(HidReport::getRequest(HidReport::DdnsLastResult), &response))
            return false;
        answer = HidReport::stringAt(response, 1, false);
    }
    closeDevice();
    const DeviceStatusText::DdnsResult result = DeviceStatusText::ddnsResult(answer);
    if (result.matched) {
        m_ddnsLbl->setText(result.word);
        m_detailBox->setText(result.detail);
        switch (result.severity) {
        case DeviceStatusText::Severity::None:
            m_detailBox->setIcon(QMessageBox::NoIcon);
            break;
        case DeviceStatusText::Severity::Information:
            m_detailBox->setIcon(QMessageBox::Information);
            break;
        case DeviceStatusText::Severity::Warning:
            m_detailBox->setIcon(QMessageBox::Warning);
            break;
        }
    }
    return true;
}

void DevStatusTab::showLastError()
{
    if (!openDevice())
        return;
    QByteArray response;
    if (!query(HidReport::getRequest(HidReport::LastErrorRecord), &response))
        return;
    closeDevice();
    m_errorText->setPlainText(DeviceStatusText::lastError(response));
    m_errorWindow->show();
    m_errorWindow->raise();
}

} // namespace configurator
