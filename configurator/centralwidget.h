#pragma once

#include "configurator/hidinterface.h"

#include <QWidget>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;
class QVBoxLayout;

namespace configurator {

class AbstractTab;
class ConnectingTab;
class DdnsTab;
class DevStatusTab;
class IfNetworkTab;
class Permission;
class UpdateFwTab;
class WiFiTab;

// The configurator's frame: owns the device interface and the tabs, follows
// device arrival and removal, loads the tabs when the Brelko appears and
// commits what they apply.
class CentralWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CentralWidget)

public:
    static constexpr int kApplyTimeoutMs = 5000;

    explicit CentralWidget(QWidget *parent = nullptr);
    ~CentralWidget() override;

    QTabWidget *tabWidget() const { return m_tabs; }
    WiFiTab *wifiTab() const { return m_wifiTab; }
    IfNetworkTab *networkTab() const { return m_ifNetworkTab; }
    ConnectingTab *connectingTab() const { return m_connectingTab; }
    Permission *permissionTab() const { return m_permTab; }
    DdnsTab *ddnsTab() const { return m_ddnsTab; }
    UpdateFwTab *filesTab() const { return m_filesTab; }
    DevStatusTab *statusTab() const { return m_statusTab; }
    bool isFirmwareUpdating() const { return m_fwUpdating; }
    QPushButton *saveAndExitButton() const { return m_saveExitBtn; }
    QPushButton *exitButton() const { return m_exitBtn; }
    QLabel *connectLabel() const { return m_connectLbl; }
    QLabel *cableLabel() const { return m_cableLbl; }
    QLabel *fwUpdatingLabel() const { return m_fwUpdatingLbl; }
    QLabel *fwNoDisconnectLabel() const { return m_fwNoDisconnectLbl; }
    bool isAwaitingReturn() const;
    bool isRemovalShown() const { return m_removalAttached; }

signals:
    void statusMsg(const QString &text);
    void quit();
    void widgetWasShown(bool shown);

public slots:
    void changeTab(int index);
    void resetDefault();
    void save();
    void saveAndExit();
    void connectedDevice();
    void disconnectedDevice();
    void startUploadFw();
    void finishUploadFw();
    void applyTimeout();
    void compatibility(quint32 value);
    void updateProcess();
    void savedIniFile();
    void loadIniFile();

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool brelkoPresent() const;
    // Clears the firmware-updating flag once no upload runs and the device is back.
    void settleFirmwareFlag();
    // The notifier reports any HID device; only the Brelko's going counts.
    void deviceRemoved();
    // Puts a tab at its place in the fixed order, whatever else is present.
    void placeTab(AbstractTab *tab, const QString &title, int order);
    // The editing tabs present now, in load and apply order.
    QList<AbstractTab *> editingTabs() const;
    bool permissionsShown() const;
    void attachRemoval(bool attach);
    // Sends one command report (commit or reset) with the usual boxes.
    void sendCommand(const QByteArray &report);

    const quint16 m_vendorId = HidInterface::kVendorId;
    const quint16 m_productId = HidInterface::kProductId;
    const quint16 m_releaseNumber = HidInterface::kReleaseNumber;
    HidInterface m_hidIf;
    QVBoxLayout *m_layout;
    QHBoxLayout *m_buttonLayout;
    QTabWidget *m_tabs;
    QPushButton *m_saveExitBtn;
    QPushButton *m_exitBtn;
    QLabel *m_connectLbl;
    QLabel *m_cableLbl;
    QLabel *m_fwUpdatingLbl;
    QLabel *m_fwNoDisconnectLbl;
    WiFiTab *m_wifiTab;
    IfNetworkTab *m_ifNetworkTab;
    Permission *m_permTab;
    ConnectingTab *m_connectingTab;
    DdnsTab *m_ddnsTab;
    UpdateFwTab *m_filesTab;
    DevStatusTab *m_statusTab;
    QTimer *m_applyTimer;
    bool m_fwUpdating = false;
    bool m_removalAttached = false;
    bool m_loading = false;
    QByteArray m_shownPath; // the Brelko whose values the tabs show
    bool m_arrivalWhileLoading = false;
};

} // namespace configurator
