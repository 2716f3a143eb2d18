#include "client/prefs/preferences.h"

#include "client/prefs/languagetab.h"
#include "client/prefs/networktab.h"
#include "client/prefs/serialtab.h"
#include "common/settings.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace brelko;

namespace morvex {

Preferences::Preferences(QWidget *parent, AudioTab::DeviceSource devices)
    : QDialog(parent)
    , m_tabs(new QTabWidget(this))
    , m_buttons(new QDialogButtonBox(
          QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this))
    , m_serial(new SerialTab(this))
    , m_network(new NetworkTab(this))
    , m_audio(new AudioTab(this, std::move(devices)))
    , m_language(new LanguageTab(this))
{
    m_tabs->addTab(m_serial, QString());
    m_tabs->addTab(m_network, QString());
    m_tabs->addTab(m_audio, QString());
    m_tabs->addTab(m_language, QString());
    retranslate();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_buttons);

    for (AbstractTab *tab : { static_cast<AbstractTab *>(m_serial), static_cast<AbstractTab *>(m_network),
             static_cast<AbstractTab *>(m_audio), static_cast<AbstractTab *>(m_language) }) {
        tab->loadSettings();
        tab->commitState();
        connect(tab, &AbstractTab::dataChanged, this, &Preferences::tabDataChanged);
    }
    connect(m_audio, &AudioTab::reloadAudioDevice, this, &Preferences::reloadAudioDevices);
    connect(m_network, &NetworkTab::settingsImported, this, &Preferences::loadedImportFile);
    connect(m_buttons, &QDialogButtonBox::clicked, this, &Preferences::buttonClicked);
    connect(m_tabs, &QTabWidget::currentChanged, this, &Preferences::tabChanged);
    m_current = m_tabs->currentIndex();
    updateApply();
}

void Preferences::retranslate()
{
    setWindowTitle(tr("Preferences"));
    m_tabs->setTabText(0, tr("Serial ports"));
    m_tabs->setTabText(1, tr("Network"));
    m_tabs->setTabText(2, tr("Audio"));
    m_tabs->setTabText(3, tr("General"));
}

void Preferences::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(event);
}

QPushButton *Preferences::applyButton() const
{
    return m_buttons->button(QDialogButtonBox::Apply);
}

AbstractTab *Preferences::tabAt(int idx) const
{
    return qobject_cast<AbstractTab *>(m_tabs->widget(idx));
}

void Preferences::applyTab(AbstractTab *tab)
{
    if (tab->isChanged())
        emit apply(tab->id());
    tab->commitState();
    tab->saveSettings();
}

void Preferences::updateApply()
{
    bool any = false;
    for (int i = 0; i < m_tabs->count(); ++i)
        any |= tabAt(i)->isChanged();
    applyButton()->setEnabled(any);
}

void Preferences::buttonClicked(QAbstractButton *btn)
{
    AbstractTab *tab = tabAt(m_tabs->currentIndex());
    switch (m_buttons->standardButton(btn)) {
    case QDialogButtonBox::Cancel:
        tab->revertState();
        reject();
        break;
    case QDialogButtonBox::Apply:
        applyTab(tab);
        break;
    case QDialogButtonBox::Ok:
        applyTab(tab);
        accept();
        break;
    default:
        break;
    }
    updateApply();
}

void Preferences::tabChanged(int idx)
{
    if (m_switching)
        return;
    AbstractTab *left = tabAt(m_current);
    if (left && m_current != idx && left->isChanged()) {
        {
            // Back to the changed tab before asking.
            const QSignalBlocker block(m_tabs);
            m_tabs->setCurrentIndex(m_current);
        }
        QMessageBox box(QMessageBox::Warning, tr("Apply changes"),
            tr("Would you like to apply changes at the %1 tab?").arg(m_tabs->tabText(m_current)),
            QMessageBox::NoButton, this);
        QPushButton *applyBtn = box.addButton(QMessageBox::Apply);
        box.addButton(QMessageBox::Discard);
        box.setDefaultButton(applyBtn);
        box.exec();
        if (box.clickedButton() == applyBtn)
            applyTab(left);
        else
            left->revertState();
        updateApply();
        return;
    }
    if (AbstractTab *entered = tabAt(idx))
        entered->commitState();
    m_current = idx;
    updateApply();
}

void Preferences::tabDataChanged()
{
    updateApply();
}

void Preferences::loadedImportFile()
{
    emit apply(AbstractTab::Network);
    m_network->commitState();
    m_network->saveSettings();
    updateApply();
}

QStringList Preferences::serialPorts() const
{
    return m_serial->portNames();
}
QString Preferences::networkAddress() const
{
    return m_network->address();
}
QString Preferences::networkPassword() const
{
    return m_network->password();
}
int Preferences::txBufferingSteps() const
{
    return m_network->txBufferingSteps();
}
int Preferences::cmdPort() const
{
    return m_network->cmdPort();
}
int Preferences::rtpPort() const
{
    return m_network->rtpPort();
}
int Preferences::pttCwPort() const
{
    return m_network->pttCwPort();
}
int Preferences::txTimeout() const
{
    return m_network->txTimeout();
}
int Preferences::audioInput() const
{
    return m_audio->inputDevice();
}
int Preferences::audioOutput() const
{
    return m_audio->outputDevice();
}
int Preferences::virtualInput() const
{
    return m_audio->virtualInput();
}
int Preferences::virtualOutput() const
{
    return m_audio->virtualOutput();
}
int Preferences::sampleRate() const
{
    return m_audio->sampleRate();
}
int Preferences::codec() const
{
    return m_audio->codec();
}
int Preferences::rxBuffering() const
{
    return m_audio->rxBuffering();
}

StationSession::Config Preferences::stationConfig() const
{
    StationSession::Config c;
    c.boxName = networkAddress();
    c.cmdPort = quint16(cmdPort());
    c.streamPort = quint16(rtpPort());
    c.pttCwPort = quint16(pttCwPort());
    c.password = networkPassword();
    c.txBufferSteps = txBufferingSteps();
    c.txTimeoutMs = txTimeout() * 1000;
    return c;
}

AudioRouting::Devices Preferences::audioDevices() const
{
    AudioRouting::Devices d;
    d.input = audioInput();
    d.virtualInput = virtualInput();
    d.output = audioOutput();
    d.virtualOutput = virtualOutput();
    d.sampleRate = sampleRate();
    d.rxBufferingMs = rxBuffering();
    d.longBuffers = Settings::instance()->value(Settings::LongSoundBuffers, Settings::Audio).toBool();
    return d;
}

RigServer::Config Preferences::rigConfig() const
{
    const NetworkTab *tab = networkTab();
    RigServer::Config c;
    c.enabled = tab->rigEnabled();
    c.port = quint16(tab->rigPort());
    c.remote = tab->rigRemote();
    c.rig.model = tab->rigModel();
    c.rig.pttByCat = tab->rigPttByCat();
    return c;
}

} // namespace morvex
