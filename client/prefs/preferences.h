#pragma once

#include "client/controller/audiorouting.h"
#include "client/controller/stationsession.h"
#include "client/prefs/abstracttab.h"
#include "client/prefs/audiotab.h"
#include "client/rigctl/rigserver.h"

#include <QDialog>

class QAbstractButton;
class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace morvex {

class LanguageTab;
class NetworkTab;
class SerialTab;

// The preferences dialog: Serial ports, Network, Audio and General tabs.
class Preferences final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Preferences)

public:
    explicit Preferences(
        QWidget *parent = nullptr, AudioTab::DeviceSource devices = AudioTab::DeviceSource());

    SerialTab *serialTab() const { return m_serial; }
    NetworkTab *networkTab() const { return m_network; }
    AudioTab *audioTab() const { return m_audio; }
    LanguageTab *languageTab() const { return m_language; }
    QTabWidget *tabs() const { return m_tabs; }
    QPushButton *applyButton() const;

    // Current selections, for the station controller.
    QStringList serialPorts() const;
    QString networkAddress() const;
    QString networkPassword() const;
    int txBufferingSteps() const;
    int cmdPort() const;
    int rtpPort() const;
    int pttCwPort() const;
    int txTimeout() const;
    int audioInput() const;
    int audioOutput() const;
    int virtualInput() const;
    int virtualOutput() const;
    int sampleRate() const;
    int codec() const;
    int rxBuffering() const;

    // The chosen values as the session, the audio routing and the rig
    // control server take them.
    StationSession::Config stationConfig() const;
    AudioRouting::Devices audioDevices() const;
    RigServer::Config rigConfig() const;

signals:
    void apply(AbstractTab::Tab tab);
    void reloadAudioDevices();

public slots:
    void buttonClicked(QAbstractButton *btn);
    void tabChanged(int idx);
    void tabDataChanged();
    void loadedImportFile();

protected:
    void changeEvent(QEvent *event) override;

private:
    AbstractTab *tabAt(int idx) const;
    void applyTab(AbstractTab *tab);
    void updateApply();
    void retranslate();

    QTabWidget *m_tabs;
    QDialogButtonBox *m_buttons;
    SerialTab *m_serial;
    NetworkTab *m_network;
    AudioTab *m_audio;
    LanguageTab *m_language;
    int m_current = 0;
    bool m_switching = false;
};

} // namespace morvex
