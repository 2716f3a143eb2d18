#pragma once

#include "configurator/abstracttab.h"

class QDialog;
class QLabel;
class QMessageBox;
class QPlainTextEdit;
class QTimer;

namespace configurator {

// "Status": what the Brelko reports about itself: versions, Wi-Fi link and
// signal, the network settings in use, the dynamic DNS client's last result
// and, on request, the last recorded fault. Edits nothing.
class DevStatusTab final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DevStatusTab)

public:
    static constexpr int kPollIntervalMs = 5000;

    explicit DevStatusTab(QWidget *parent = nullptr);

    void loadFromSettings() override { }
    void saveToSettings() override { }

    // Refreshing while the tab is current; starting also reads at once.
    void startPolling();
    void stopPolling();
    bool isPolling() const;

    QLabel *firmwareVersionLabel() const { return m_fwVersionLbl; }
    QLabel *hardwareVersionLabel() const { return m_hwVersionLbl; }
    QLabel *linkStateLabel() const { return m_stateLbl; }
    QLabel *rssiLabel() const { return m_rssiLbl; }
    QLabel *macLabel() const { return m_macLbl; }
    QLabel *ipLabel() const { return m_ipLbl; }
    QLabel *maskLabel() const { return m_maskLbl; }
    QLabel *gatewayLabel() const { return m_gatewayLbl; }
    QLabel *dnsLabel() const { return m_dnsLbl; }
    QLabel *ddnsLabel() const { return m_ddnsLbl; }
    QLabel *lastErrorLink() const { return m_lastErrorLink; }
    QLabel *moreInfoLink() const { return m_moreInfoLink; }
    QMessageBox *ddnsDetailBox() const { return m_detailBox; }
    QDialog *lastErrorWindow() const { return m_errorWindow; }
    QPlainTextEdit *lastErrorText() const { return m_errorText; }

public slots:
    bool loadData() override;
    void applyData() override { }
    void updateWiFiState();
    void showLastError();

private:
    bool updateDdnsResult();

    QLabel *m_fwVersionLbl;
    QLabel *m_hwVersionLbl;
    QLabel *m_lastErrorLink;
    QLabel *m_stateLbl;
    QLabel *m_rssiLbl;
    QLabel *m_macLbl;
    QLabel *m_ipLbl;
    QLabel *m_maskLbl;
    QLabel *m_gatewayLbl;
    QLabel *m_dnsLbl;
    QLabel *m_ddnsLbl;
    QLabel *m_moreInfoLink;
    QDialog *m_errorWindow;
    QPlainTextEdit *m_errorText;
    QMessageBox *m_detailBox;
    QTimer *m_pollTimer;
    bool m_refreshing = false;
};

} // namespace configurator
