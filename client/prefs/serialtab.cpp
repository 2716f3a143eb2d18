#include "client/prefs/serialtab.h"

#include "client/ports/vserial.h"
#include "common/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSet>
#include <QVBoxLayout>

using namespace brelko;

namespace morvex {

SerialTab::SerialTab(QWidget *parent)
    : AbstractTab(SerialPorts, true, parent)
    , m_wine(new QCheckBox(tr("Make the ports visible to Wine"), this))
{
    const QString captions[kPorts] = {
        tr("Serial port for CAT "),
        tr("Serial port for  PTT/CW \n(PTT->RTS; CW->DTR)"),
        tr("Serial port for FSK"),
        tr("Serial port for RS-485"),
        tr("Serial port for  Winkey"),
    };
    auto *form = new QFormLayout;
    for (int i = 0; i < kPorts; ++i) {
        m_combos[i] = new QComboBox(this);
        form->addRow(new QLabel(captions[i], this), m_combos[i]);
        connect(m_combos[i], QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &AbstractTab::dataChanged);
    }
    auto *reset = new QPushButton(tr("Reset all ports"), this);
    connect(reset, &QPushButton::clicked, this, &SerialTab::resetAllPorts);
    m_wine->setToolTip(
        tr("Links each port as comN in the dosdevices folder of $WINEPREFIX (default ~/.wine)"));
    connect(m_wine, &QCheckBox::toggled, this, &AbstractTab::dataChanged);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_wine);
    layout->addWidget(reset, 0, Qt::AlignLeft);
    layout->addStretch();
    fillLists();
}

void SerialTab::fillLists()
{
    QSet<QString> existing;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &p : ports)
        existing.insert(p.portName());
    QSet<QString> virtualPorts;
    const int count = VSerial::countVirtualPorts();
    for (int i = 0; i < count; ++i)
        virtualPorts.insert(VSerial::enumVirtualPort(i));

    for (QComboBox *combo : m_combos) {
        const QSignalBlocker block(combo);
        combo->clear();
        combo->addItem(tr("None"), 0);
        for (int n = 1; n <= 255; ++n) {
            const QString name = QStringLiteral("COM%1").arg(n);
            if (virtualPorts.contains(name))
                combo->addItem(QLatin1Char('*') + name, n);
            else if (!existing.contains(name))
                combo->addItem(name, n);
            // A physical port of that name is left out.
        }
    }
}

void SerialTab::select(QComboBox *combo, const QString &name)
{
    int idx = combo->findText(name);
    if (idx < 0)
        idx = combo->findText(QLatin1Char('*') + name);
    if (idx >= 0)
        combo->setCurrentIndex(idx);
}

QStringList SerialTab::portNames() const
{
    QStringList names;
    for (QComboBox *combo : m_combos)
        names << combo->currentText().remove(QLatin1Char('*'));
    return names;
}

QStringList SerialTab::stateFields() const
{
    QStringList f;
    for (QComboBox *combo : m_combos)
        f << combo->currentText();
    f << QString::number(int(m_wine->isChecked()));
    return f;
}

void SerialTab::applyFields(const QStringList &fields)
{
    for (int i = 0; i < kPorts && i < fields.size(); ++i)
        select(m_combos[i], fields.at(i));
    if (fields.size() > kPorts)
        m_wine->setChecked(fields.at(kPorts) == QLatin1String("1"));
}

bool SerialTab::wineLinks() const
{
    return m_wine->isChecked();
}

void SerialTab::resetAllPorts()
{
    VSerial::resetBus();
    fillLists();
    emit dataChanged();
}

void SerialTab::saveSettings()
{
    Settings *s = Settings::instance();
    const QStringList names = portNames();
    for (int i = 0; i < kPorts; ++i)
        s->setValue(Settings::Key(Settings::Serial_1 + i), Settings::Serial, names.at(i));
    s->setValue(Settings::WineLinks, Settings::Serial, m_wine->isChecked());
}

void SerialTab::loadSettings()
{
    Settings *s = Settings::instance();
    for (int i = 0; i < kPorts; ++i) {
        const QString name = s->value(Settings::Key(Settings::Serial_1 + i), Settings::Serial).toString();
        if (!name.isEmpty())
            select(m_combos[i], name);
    }
    m_wine->setChecked(s->value(Settings::WineLinks, Settings::Serial).toBool());
}

} // namespace morvex
