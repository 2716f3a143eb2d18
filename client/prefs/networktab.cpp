#include "client/prefs/networktab.h"

#include "client/rigctl/hamliblibrary.h"
#include "client/rigctl/hamlibrig.h"
#include "common/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>

using namespace brelko;

namespace morvex {

namespace {
constexpr int kBufMin = 200;
constexpr int kBufMax = 1000;
constexpr int kBufStep = 20;

QSpinBox *portBox(QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setRange(0, 65535);
    return box;
}

std::optional<int> readNumber(QSettings &ini, const char *key)
{
    if (!ini.contains(QLatin1String(key)))
        return std::nullopt;
    bool ok = false;
    const qlonglong v = ini.value(QLatin1String(key)).toString().trimmed().toLongLong(&ok);
    if (ok && v >= INT_MIN && v <= INT_MAX)
        return int(v);
    return std::nullopt;
}

std::optional<QString> readText(QSettings &ini, const char *key)
{
    if (!ini.contains(QLatin1String(key)))
        return std::nullopt;
    return ini.value(QLatin1String(key)).toString();
}
} // namespace

NetworkTab::NetworkTab(QWidget *parent)
    : AbstractTab(Network, false, parent)
    , m_address(new QLineEdit(this))
    , m_password(new QLineEdit(this))
    , m_buffer(new QSlider(Qt::Horizontal, this))
    , m_bufferValue(new QLabel(this))
    , m_cmdPort(portBox(this))
    , m_rtpPort(portBox(this))
    , m_pttCwPort(portBox(this))
    , m_txTimeout(new QSpinBox(this))
    , m_rigEnabled(new QCheckBox(this))
    , m_rigPort(new QSpinBox(this))
    , m_rigRemote(new QCheckBox(this))
    , m_rigModel(new QComboBox(this))
    , m_rigPtt(new QComboBox(this))
    , m_rigNote(new QLabel(this))
{
    m_txTimeout->setRange(0, kTxTimeoutMax);
    m_txTimeout->setSuffix(tr(" s"));
    m_txTimeout->setSpecialValueText(tr("off"));
    m_txTimeout->setValue(kTxTimeoutDefault);
    m_password->setEchoMode(QLineEdit::Normal);
    m_buffer->setRange(kBufMin, kBufMax);
    m_buffer->setSingleStep(kBufStep);
    m_buffer->setPageStep(kBufStep);
    m_buffer->setTickInterval(kBufStep * 5);
    m_buffer->setTickPosition(QSlider::TicksBelow);

    auto *bufRow = new QHBoxLayout;
    bufRow->addWidget(m_buffer, 1);
    bufRow->addWidget(m_bufferValue);
    bufRow->addWidget(new QLabel(tr("msec"), this));

    auto *form = new QFormLayout;
    form->addRow(tr("Brelko address"), m_address);
    form->addRow(tr("Brelko password"), m_password);
    form->addRow(tr("Brelko audio TX buffering"), bufRow);
    form->addRow(tr("Command port (TCP)"), m_cmdPort);
    form->addRow(tr("Audio port (UDP)"), m_rtpPort);
    form->addRow(tr("PTT/CW port (UDP)"), m_pttCwPort);
    form->addRow(tr("Transmit time-out"), m_txTimeout);

    auto *exportBtn = new QPushButton(tr("Export location"), this);
    auto *importBtn = new QPushButton(tr("Import location"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(exportBtn);
    buttons->addWidget(importBtn);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(buildRigGroup());
    layout->addStretch();

    m_chooser = [this](bool save, const QString &title, const QString &filter) {
        return save ? QFileDialog::getSaveFileName(this, title, QString(), filter)
                    : QFileDialog::getOpenFileName(this, title, QString(), filter);
    };

    connect(exportBtn, &QPushButton::clicked, this, &NetworkTab::exportSettings);
    connect(importBtn, &QPushButton::clicked, this, &NetworkTab::importSettings);
    connect(m_buffer, &QSlider::valueChanged, this, &NetworkTab::bufferChanged);
    connect(m_address, &QLineEdit::textChanged, this, &AbstractTab::dataChanged);
    connect(m_password, &QLineEdit::textChanged, this, &AbstractTab::dataChanged);
    for (QSpinBox *box : { m_cmdPort, m_rtpPort, m_pttCwPort, m_txTimeout })
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &AbstractTab::dataChanged);
    bufferChanged(kBufMin);
}

QWidget *NetworkTab::buildRigGroup()
{
    auto *group = new QGroupBox(tr("Rig control"), this);
    m_rigEnabled->setText(tr("Serve radio programs (Hamlib NET rigctl)"));
    m_rigPort->setRange(1, 65535);
    m_rigPort->setValue(kRigPortDefault);
    // The protocol has no password: other computers only when asked for.
    m_rigRemote->setText(tr("Accept other computers"));
    m_rigModel->addItem(tr("None (PTT only)"), 0);
    m_rigNote->setWordWrap(true);
    m_rigNote->hide();
    m_rigPtt->addItem(tr("Brelko"), false);
    m_rigPtt->addItem(tr("CAT"), true);

    auto *form = new QFormLayout(group);
    form->addRow(m_rigEnabled);
    form->addRow(tr("Port (TCP)"), m_rigPort);
    form->addRow(m_rigRemote);
    form->addRow(tr("Radio model"), m_rigModel);
    form->addRow(m_rigNote);
    form->addRow(tr("PTT by"), m_rigPtt);

    connect(m_rigEnabled, &QCheckBox::toggled, this, &AbstractTab::dataChanged);
    connect(m_rigRemote, &QCheckBox::toggled, this, &AbstractTab::dataChanged);
    connect(m_rigPort, QOverload<int>::of(&QSpinBox::valueChanged), this, &AbstractTab::dataChanged);
    connect(m_rigModel, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &AbstractTab::dataChanged);
    connect(m_rigPtt, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &AbstractTab::dataChanged);
    return group;
}

bool NetworkTab::rigEnabled() const
{
    return m_rigEnabled->isChecked();
}
int NetworkTab::rigPort() const
{
    return m_rigPort->value();
}
bool NetworkTab::rigRemote() const
{
    return m_rigRemote->isChecked();
}
int NetworkTab::rigModel() const
{
    return m_modelsLoaded ? m_rigModel->currentData().toInt() : m_wantedModel;
}
bool NetworkTab::rigPttByCat() const
{
    return m_rigPtt->currentData().toBool();
}

void NetworkTab::setRigModel(int model)
{
    if (!m_modelsLoaded) {
        m_wantedModel = model;
        return;
    }
    const int idx = m_rigModel->findData(model);
    m_rigModel->setCurrentIndex(idx >= 0 ? idx : 0);
}

void NetworkTab::loadRigModels()
{
    if (m_modelsLoaded)
        return;
    // A model the list turns out not to have falls back to none; that is
    // no change of the operator's, so it does not light up Apply.
    const bool unchanged = !isChanged();
    const QList<QPair<int, QString>> models = HamlibRig::models();
    {
        const QSignalBlocker block(m_rigModel);
        for (const auto &m : models)
            m_rigModel->addItem(QStringLiteral("%1 %2").arg(m.first).arg(m.second), m.first);
        m_modelsLoaded = true;
        setRigModel(m_wantedModel);
    }
    const QString error = HamlibLibrary::error();
    if (!error.isEmpty()) {
        m_rigNote->setText(
            tr("No radio models: Hamlib (%1) could not be loaded: %2").arg(HamlibLibrary::fileName(), error));
        m_rigNote->show();
    }
    if (unchanged)
        commitState();
    emit dataChanged();
}

QString NetworkTab::rigModelNote() const
{
    return m_rigNote->isHidden() ? QString() : m_rigNote->text();
}

void NetworkTab::showEvent(QShowEvent *event)
{
    loadRigModels();
    AbstractTab::showEvent(event);
}

QString NetworkTab::address() const
{
    return m_address->text();
}
QString NetworkTab::password() const
{
    return m_password->text();
}
int NetworkTab::txBuffering() const
{
    return m_buffer->value();
}
int NetworkTab::txBufferingSteps() const
{
    return m_buffer->value() / kBufStep;
}
int NetworkTab::cmdPort() const
{
    return m_cmdPort->value();
}
int NetworkTab::rtpPort() const
{
    return m_rtpPort->value();
}
int NetworkTab::pttCwPort() const
{
    return m_pttCwPort->value();
}
int NetworkTab::txTimeout() const
{
    return m_txTimeout->value();
}
QString NetworkTab::bufferLabelText() const
{
    return m_bufferValue->text();
}

void NetworkTab::bufferChanged(int val)
{
    // A location file may hold any number; the label must show what the slider can.
    val = qBound(kBufMin, val - val % kBufStep, kBufMax);
    m_bufferValue->setText(QString::number(val));
    if (m_buffer->value() != val)
        m_buffer->setValue(val); // re-enters once with the snapped value
    emit dataChanged();
}

QStringList NetworkTab::stateFields() const
{
    return { address(), password(), QString::number(txBuffering()), QString::number(cmdPort()),
        QString::number(rtpPort()), QString::number(pttCwPort()), QString::number(txTimeout()),
        QString::number(rigEnabled()), QString::number(rigPort()), QString::number(rigRemote()),
        QString::number(rigModel()), QString::number(rigPttByCat()) };
}

void NetworkTab::applyFields(const QStringList &f)
{
    if (f.size() < 6)
        return;
    m_address->setText(f.at(0));
    m_password->setText(f.at(1));
    bufferChanged(f.at(2).toInt());
    m_cmdPort->setValue(f.at(3).toInt());
    m_rtpPort->setValue(f.at(4).toInt());
    m_pttCwPort->setValue(f.at(5).toInt());
    if (f.size() > 6)
        m_txTimeout->setValue(f.at(6).toInt());
    if (f.size() > 11) {
        m_rigEnabled->setChecked(f.at(7).toInt() != 0);
        m_rigPort->setValue(f.at(8).toInt());
        m_rigRemote->setChecked(f.at(9).toInt() != 0);
        setRigModel(f.at(10).toInt());
        m_rigPtt->setCurrentIndex(f.at(11).toInt() != 0 ? 1 : 0);
    }
}

void NetworkTab::saveSettings()
{
    Settings *s = Settings::instance();
    s->setValue(Settings::NetworkAddr, Settings::Network, address());
    s->setValue(Settings::NetworkPass, Settings::Network, password());
    s->setValue(Settings::NetworkTxBuffer, Settings::Network, txBuffering());
    s->setValue(Settings::NetworkCmdPort, Settings::Network, cmdPort());
    s->setValue(Settings::NetworkRtpPort, Settings::Network, rtpPort());
    s->setValue(Settings::NetworkPttCwPort, Settings::Network, pttCwPort());
    s->setValue(Settings::TxTimeout, Settings::Network, txTimeout());
    s->setValue(Settings::RigEnabled, Settings::RigControl, rigEnabled());
    s->setValue(Settings::RigPort, Settings::RigControl, rigPort());
    s->setValue(Settings::RigRemote, Settings::RigControl, rigRemote());
    s->setValue(Settings::RigModel, Settings::RigControl, rigModel());
    s->setValue(Settings::RigPttByCat, Settings::RigControl, rigPttByCat());
}

void NetworkTab::loadSettings()
{
    Settings *s = Settings::instance();
    const QString addr = s->value(Settings::NetworkAddr, Settings::Network).toString();
    m_address->setText(addr.isEmpty() ? tr("enter IP address or domain name") : addr);
    const QString pass = s->value(Settings::NetworkPass, Settings::Network).toString();
    m_password->setText(pass.isEmpty() ? tr("fill this") : pass);

    bool ok = false;
    const int buf = s->value(Settings::NetworkTxBuffer, Settings::Network).toInt(&ok);
    bufferChanged(ok && buf >= 1 ? buf : m_buffer->minimum());

    auto port = [s](Settings::Key key, int fallback) {
        bool ok = false;
        const int v = s->value(key, Settings::Network).toInt(&ok);
        return ok ? v : fallback;
    };
    m_cmdPort->setValue(port(Settings::NetworkCmdPort, 11000));
    m_rtpPort->setValue(port(Settings::NetworkRtpPort, 11000));
    m_pttCwPort->setValue(port(Settings::NetworkPttCwPort, 8765));
    // Absent or unreadable: the safe default, never "off".
    bool timeoutOk = false;
    const int timeout = s->value(Settings::TxTimeout, Settings::Network).toInt(&timeoutOk);
    m_txTimeout->setValue(timeoutOk && timeout >= 0 ? qMin(timeout, kTxTimeoutMax) : kTxTimeoutDefault);

    auto flag = [s](Settings::Key key) {
        const QString v = s->value(key, Settings::RigControl).toString().trimmed().toLower();
        return v == QLatin1String("true") || v == QLatin1String("1");
    };
    m_rigEnabled->setChecked(flag(Settings::RigEnabled));
    bool portOk = false;
    const int rigPort = s->value(Settings::RigPort, Settings::RigControl).toInt(&portOk);
    m_rigPort->setValue(portOk && rigPort > 0 && rigPort <= 65535 ? rigPort : kRigPortDefault);
    m_rigRemote->setChecked(flag(Settings::RigRemote));
    setRigModel(s->value(Settings::RigModel, Settings::RigControl).toInt());
    m_rigPtt->setCurrentIndex(flag(Settings::RigPttByCat) ? 1 : 0);
}

NetworkTab::Location NetworkTab::readLocationFile(const QString &path)
{
    QSettings ini(path, QSettings::IniFormat);
    Location loc;
    loc.address = readText(ini, "NetworkAddr");
    loc.password = readText(ini, "NetworkPass");
    loc.txBuffering = readNumber(ini, "TxBuffering");
    loc.cmdPort = readNumber(ini, "NetworkCmdPort");
    loc.rtpPort = readNumber(ini, "NetworkRtpPort");
    loc.pttCwPort = readNumber(ini, "NetworkPttCwPort");
    return loc;
}

void NetworkTab::readLocation(const QString &path)
{
    const Location loc = readLocationFile(path);
    if (loc.address)
        m_address->setText(*loc.address);
    if (loc.password)
        m_password->setText(*loc.password);
    if (loc.txBuffering)
        bufferChanged(*loc.txBuffering);
    if (loc.cmdPort)
        m_cmdPort->setValue(*loc.cmdPort);
    if (loc.rtpPort)
        m_rtpPort->setValue(*loc.rtpPort);
    if (loc.pttCwPort)
        m_pttCwPort->setValue(*loc.pttCwPort);
}

void NetworkTab::importSettings()
{
    const QString path = m_chooser(false, tr("Import location file"), QStringLiteral("*.brelkonet"));
    if (path.isEmpty())
        return;
    readLocation(path);
}

void NetworkTab::openFile(const QString &path)
{
    if (!QFileInfo::exists(path))
        return;
    readLocation(path);
    emit settingsImported();
}

void NetworkTab::exportSettings()
{
    const QString path = m_chooser(true, tr("Export location file"), QStringLiteral("*.brelkonet"));
    if (path.isEmpty())
        return;
    QSettings ini(path, QSettings::IniFormat);
    ini.setValue(QStringLiteral("NetworkAddr"), address());
    ini.setValue(QStringLiteral("NetworkPass"), password());
    ini.setValue(QStringLiteral("TxBuffering"), txBuffering());
    ini.setValue(QStringLiteral("NetworkCmdPort"), cmdPort());
    ini.setValue(QStringLiteral("NetworkRtpPort"), rtpPort());
    ini.setValue(QStringLiteral("NetworkPttCwPort"), pttCwPort());
    ini.sync();
    if (ini.status() != QSettings::NoError)
        qWarning() << "Cannot write location file" << path;
}

} // namespace morvex
