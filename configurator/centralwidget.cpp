#include "configurator/centralwidget.h"

#include "configurator/abstracttab.h"
#include "configurator/connectingtab.h"
#include "configurator/ddnstab.h"
#include "configurator/devstatustab.h"
#include "configurator/hidreport.h"
#include "configurator/ifnetworktab.h"
#include "configurator/permission.h"
#include "configurator/updatefwtab.h"
#include "configurator/wifitab.h"
#include "platform/hid/hidnotifier.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace configurator {

namespace {
// Place of each tab in the tab widget, present or not.
enum TabOrder {
    OrderWiFi,
    OrderNetworking,
    OrderPermissions,
    OrderConnection,
    OrderDdns,
    OrderFiles,
    OrderStatus
};
const char kOrderProperty[] = "brelkoTabOrder";
// The HID notifier's polling period.
constexpr int kRejoinCheckMs = 1000;
} // namespace

CentralWidget::CentralWidget(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
    , m_buttonLayout(new QHBoxLayout)
    , m_tabs(new QTabWidget(this))
    , m_saveExitBtn(new QPushButton(tr("Save and exit"), this))
    , m_exitBtn(new QPushButton(tr("Exit"), this))
    , m_connectLbl(
          new QLabel(tr("Please connect your Zentrik Brelko to the USB port of your computer.\n\n"), this))
    , m_cableLbl(new QLabel(
          tr("Make sure that all cables are disconnected from both transceiver and external supply "
             "sockets of the Zentrik Brelko.\n\n\nIn case of a problem,\n1) Connect the Zentrik "
             "Brelko to another USB port of your computer;\n2) Try another USB cable."),
          this))
    , m_fwUpdatingLbl(new QLabel(tr("Firmware is updating now. Please wait a moment."), this))
    , m_fwNoDisconnectLbl(
          new QLabel(tr("You should not disconnect your Brelko from PC.\nAfter firmware update Brelko "
                        "will connect to Brelko Configurator automatically."),
              this))
    , m_wifiTab(new WiFiTab(this))
    , m_ifNetworkTab(new IfNetworkTab(this))
    , m_permTab(new Permission(this))
    , m_connectingTab(new ConnectingTab(this))
    , m_ddnsTab(new DdnsTab(this))
    , m_filesTab(new UpdateFwTab(this))
    , m_statusTab(new DevStatusTab(this))
    , m_applyTimer(new QTimer(this))
{
    m_applyTimer->setInterval(kApplyTimeoutMs);

    m_tabs->hide();
    m_connectLbl->setWordWrap(true);
    QFont big = m_connectLbl->font();
    big.setPixelSize(25);
    m_connectLbl->setFont(big);
    m_cableLbl->setWordWrap(true);
    m_fwUpdatingLbl->setWordWrap(true);
    m_fwNoDisconnectLbl->setWordWrap(true);
    m_fwUpdatingLbl->hide();
    m_fwNoDisconnectLbl->hide();
    m_saveExitBtn->hide();

    m_layout->addWidget(m_tabs);
    m_layout->addWidget(m_connectLbl);
    m_layout->addWidget(m_cableLbl);
    m_layout->addWidget(m_fwUpdatingLbl);
    m_layout->addWidget(m_fwNoDisconnectLbl);
    m_layout->addStretch();
    m_buttonLayout->addStretch();
    m_buttonLayout->addWidget(m_saveExitBtn);
    m_buttonLayout->addWidget(m_exitBtn);
    m_layout->addLayout(m_buttonLayout);

    for (AbstractTab *tab : { static_cast<AbstractTab *>(m_wifiTab),
             static_cast<AbstractTab *>(m_ifNetworkTab), static_cast<AbstractTab *>(m_permTab),
             static_cast<AbstractTab *>(m_connectingTab), static_cast<AbstractTab *>(m_ddnsTab),
             static_cast<AbstractTab *>(m_filesTab), static_cast<AbstractTab *>(m_statusTab) }) {
        tab->setHidInterface(&m_hidIf);
        tab->setDeviceIds(m_vendorId, m_productId, m_releaseNumber);
    }
    placeTab(m_wifiTab, tr("Wi-Fi"), OrderWiFi);
    placeTab(m_ifNetworkTab, tr("Networking"), OrderNetworking);
    placeTab(m_permTab, tr("Permissions"), OrderPermissions);
    placeTab(m_connectingTab, tr("Connection"), OrderConnection);
    placeTab(m_ddnsTab, tr("DDNS"), OrderDdns);
    placeTab(m_filesTab, tr("Files"), OrderFiles);
    placeTab(m_statusTab, tr("Status"), OrderStatus);

    HidNotifier *notifier = HidNotifier::instance();
    connect(notifier, &HidNotifier::deviceArrival, this, &CentralWidget::connectedDevice);
    attachRemoval(true);
    connect(m_exitBtn, &QPushButton::clicked, this, &CentralWidget::quit);
    connect(m_saveExitBtn, &QPushButton::clicked, this, &CentralWidget::saveAndExit);
    for (AbstractTab *tab : editingTabs()) {
        connect(tab, &AbstractTab::statusMessage, this, &CentralWidget::statusMsg);
        connect(tab, &AbstractTab::apply, this, &CentralWidget::save);
    }
    connect(m_filesTab, &AbstractTab::statusMessage, this, &CentralWidget::statusMsg);
    connect(m_filesTab, &UpdateFwTab::startUpdate, this, &CentralWidget::startUploadFw);
    connect(m_filesTab, &UpdateFwTab::finishedUpdate, this, &CentralWidget::finishUploadFw);
    connect(m_filesTab, &UpdateFwTab::resetToDefault, this, &CentralWidget::resetDefault);
    connect(m_filesTab, &UpdateFwTab::savedIniFile, this, &CentralWidget::savedIniFile);
    connect(m_filesTab, &UpdateFwTab::loadedIniFile, this, &CentralWidget::loadIniFile);
    connect(m_filesTab, &UpdateFwTab::currentCompatibily, this, &CentralWidget::compatibility);
    connect(m_filesTab, &UpdateFwTab::updateProcess, this, &CentralWidget::updateProcess);
    connect(this, &CentralWidget::widgetWasShown, m_filesTab, &UpdateFwTab::canShowFwMessage,
        Qt::QueuedConnection);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CentralWidget::changeTab);
    connect(m_applyTimer, &QTimer::timeout, this, &CentralWidget::applyTimeout);

    connectedDevice();
}

CentralWidget::~CentralWidget()
{
    // The tabs must not outlive the interface they borrow.
    delete m_tabs;
}

void CentralWidget::placeTab(AbstractTab *tab, const QString &title, int order)
{
    tab->setProperty(kOrderProperty, order);
    int index = 0;
    while (index < m_tabs->count() && m_tabs->widget(index)->property(kOrderProperty).toInt() < order)
        ++index;
    m_tabs->insertTab(index, tab, title);
}

QList<AbstractTab *> CentralWidget::editingTabs() const
{
    QList<AbstractTab *> tabs { m_wifiTab, m_ifNetworkTab, m_connectingTab, m_ddnsTab };
    if (permissionsShown())
        tabs.append(m_permTab);
    return tabs;
}

bool CentralWidget::permissionsShown() const
{
    return m_tabs->indexOf(m_permTab) >= 0;
}

bool CentralWidget::brelkoPresent() const
{
    return HidInterface::isPresent(m_vendorId, m_productId, m_releaseNumber);
}

bool CentralWidget::isAwaitingReturn() const
{
    return m_applyTimer->isActive();
}

void CentralWidget::attachRemoval(bool attach)
{
    HidNotifier *notifier = HidNotifier::instance();
    if (attach && !m_removalAttached)
        connect(notifier, &HidNotifier::deviceRemove, this, &CentralWidget::deviceRemoved);
    else if (!attach && m_removalAttached)
        disconnect(notifier, &HidNotifier::deviceRemove, this, &CentralWidget::deviceRemoved);
    m_removalAttached = attach;
}

void CentralWidget::connectedDevice()
{
    qDebug() << "connectedDevice()";
    // An arrival while a load waits in a message box is taken up afterwards,
    // not by a second load nested inside the first.
    if (m_loading) {
        m_arrivalWhileLoading = true;
        return;
    }
    const QByteArray path = HidInterface::devicePath(m_vendorId, m_productId, m_releaseNumber);
    if (path.isEmpty())
        return;
    qDebug() << "is Present";
    if (m_applyTimer->isActive()) {
        m_applyTimer->stop();
        attachRemoval(true);
    } else if (path == m_shownPath && m_tabs->isVisible()) {
        // Another HID device arrived: reloading would throw away unsaved edits.
        return;
    }
    settleFirmwareFlag();
    m_shownPath = path;
    m_connectLbl->hide();
    m_cableLbl->hide();
    m_fwUpdatingLbl->hide();
    m_fwNoDisconnectLbl->hide();
    m_tabs->show();
    m_saveExitBtn->show();

    m_loading = true;
    // The Files tab reads the feature word that decides on Permissions.
    bool loaded = true;
    for (AbstractTab *tab :
        { static_cast<AbstractTab *>(m_wifiTab), static_cast<AbstractTab *>(m_ifNetworkTab),
            static_cast<AbstractTab *>(m_connectingTab), static_cast<AbstractTab *>(m_ddnsTab),
            static_cast<AbstractTab *>(m_filesTab), static_cast<AbstractTab *>(m_statusTab) }) {
        if (!tab->loadData()) {
            loaded = false;
            break;
        }
    }
    if (loaded && m_filesTab->deviceFirmware().feature == 2)
        loaded = m_permTab->loadData();
    m_loading = false;
    if (loaded) {
        changeTab(m_tabs->currentIndex());
        // From the event loop: at start-up this runs inside the constructor,
        // before anyone is connected to the signal (its receiver queues it anyway).
        QMetaObject::invokeMethod(
            this, [this] { emit statusMsg(tr("Device connected")); }, Qt::QueuedConnection);
    }
    if (m_arrivalWhileLoading) {
        m_arrivalWhileLoading = false;
        QTimer::singleShot(0, this, &CentralWidget::connectedDevice);
    }
}

void CentralWidget::deviceRemoved()
{
    if (brelkoPresent()) {
        // Gone and back before we looked: an upload that ended is over.
        settleFirmwareFlag();
        return;
    }
    disconnectedDevice();
}

void CentralWidget::settleFirmwareFlag()
{
    if (m_fwUpdating && !m_filesTab->isUploading() && brelkoPresent())
        m_fwUpdating = false;
}

void CentralWidget::disconnectedDevice()
{
    qDebug() << "disconnectedDevice()";
    m_shownPath.clear();
    m_tabs->hide();
    if (m_fwUpdating) {
        m_fwUpdating = false;
        m_fwUpdatingLbl->show();
        m_fwNoDisconnectLbl->show();
    } else {
        m_connectLbl->show();
        m_cableLbl->show();
    }
    m_statusTab->stopPolling();
    m_saveExitBtn->hide();
    emit statusMsg(tr("Device disconnected"));
}

void CentralWidget::changeTab(int index)
{
    if (!brelkoPresent())
        return;
    // No polling while an upload holds the device.
    if (m_tabs->widget(index) == m_statusTab && !m_filesTab->isUploading())
        m_statusTab->startPolling();
    else
        m_statusTab->stopPolling();
    emit statusMsg(QStringLiteral(" "));
}

void CentralWidget::sendCommand(const QByteArray &report)
{
    if (!m_hidIf.open(m_vendorId, m_productId, m_releaseNumber)) {
        const QByteArray denied = m_hidIf.deniedPath();
        QMessageBox::warning(this, AbstractTab::tr("Error"),
            denied.isEmpty() ? AbstractTab::openFailureText() : AbstractTab::permissionFailureText(denied));
        return;
    }
    const int written
        = m_hidIf.write(reinterpret_cast<const unsigned char *>(report.constData()), report.size());
    m_hidIf.close();
    if (written < 1)
        QMessageBox::warning(this, AbstractTab::tr("Error"), AbstractTab::writeFailureText());
}

void CentralWidget::save()
{
    // The device leaves the bus after a commit: that is no disconnection.
    attachRemoval(false);
    m_applyTimer->start();
    m_statusTab->stopPolling();
    sendCommand(HidReport::setRequest(HidReport::CommitSettings));
}

void CentralWidget::saveAndExit()
{
    if (brelkoPresent()) {
        for (AbstractTab *tab : editingTabs())
            tab->applyData();
        save();
    }
    emit quit();
}

void CentralWidget::resetDefault()
{
    attachRemoval(false);
    m_applyTimer->start();
    m_statusTab->stopPolling();
    sendCommand(HidReport::request(HidReport::ResetDefaults));
    qDebug() << "Reset to default";
}

void CentralWidget::applyTimeout()
{
    // The device has not come back: show it as gone, and keep waiting.
    attachRemoval(true);
    disconnectedDevice();
}

void CentralWidget::compatibility(quint32 value)
{
    // Feature word 1: one access password. 2: permission slots instead.
    if (value == 1) {
        const int index = m_tabs->indexOf(m_permTab);
        if (index >= 0)
            m_tabs->removeTab(index);
        m_connectingTab->showPasswordRow(true);
    } else if (value == 2) {
        if (!permissionsShown()) {
            placeTab(m_permTab, tr("Permissions"), OrderPermissions);
            qDebug() << "Add tab";
        }
        m_connectingTab->showPasswordRow(false);
    }
}

void CentralWidget::startUploadFw()
{
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (m_tabs->widget(i) != m_filesTab)
            m_tabs->widget(i)->setEnabled(false);
    }
    m_saveExitBtn->setEnabled(false);
    m_statusTab->stopPolling();
    // Pulling the cable now shows the firmware notices, not the prompt.
    m_fwUpdating = true;
}

void CentralWidget::finishUploadFw()
{
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->widget(i)->setEnabled(true);
    m_saveExitBtn->setEnabled(true);
    // A failed upload with the device still here: its later removal is an
    // ordinary one. A device already gone keeps the notices for its removal.
    if (brelkoPresent()) {
        m_fwUpdating = false;
        return;
    }
    // A device that rejoins within one polling second is never reported
    // gone: look again once the notifier has had two chances to see it.
    QTimer::singleShot(2 * kRejoinCheckMs, this, &CentralWidget::settleFirmwareFlag);
}

void CentralWidget::updateProcess()
{
    m_fwUpdating = true;
}

void CentralWidget::savedIniFile()
{
    for (AbstractTab *tab : editingTabs())
        tab->saveToSettings();
}

void CentralWidget::loadIniFile()
{
    const QList<AbstractTab *> tabs { m_wifiTab, m_ifNetworkTab, m_connectingTab, m_ddnsTab };
    for (AbstractTab *tab : tabs)
        tab->loadFromSettings();
    for (AbstractTab *tab : tabs)
        tab->applyData();
    if (permissionsShown()) {
        m_permTab->loadFromSettings();
        m_permTab->applyData();
    }
    save();
}

void CentralWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    emit widgetWasShown(true);
}

} // namespace configurator
