#include "client/prefs/audiotab.h"

#include "client/audio/paudiodevices.h"
#include "common/settings.h"
#include "platform/soundpanel.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

using namespace brelko;

namespace morvex {

namespace {
// One 20 ms datagram plus one of jitter is the least that plays on a quiet
// network; 200 ms is what suits most.
constexpr int kBufMin = 40;
constexpr int kBufDefault = 200;
constexpr int kBufMax = 3000;
constexpr int kBufStep = 20;
} // namespace

const QString &AudioTab::virtualCardPattern()
{
    static const QString pattern = QStringLiteral("e2eSoft VAudio");
    return pattern;
}

AudioTab::AudioTab(QWidget *parent, DeviceSource source)
    : AbstractTab(Audio, true, parent)
    , m_source(source ? std::move(source) : DeviceSource(&PAudioDevices::deviceList))
    , m_input(new QComboBox(this))
    , m_output(new QComboBox(this))
    , m_buffer(new QSlider(Qt::Horizontal, this))
    , m_bufferValue(new QLabel(this))
    , m_rate(new QComboBox(this))
    , m_codec(new QComboBox(this))
{
    m_buffer->setRange(kBufMin, kBufMax);
    m_buffer->setSingleStep(kBufStep);
    m_buffer->setPageStep(kBufStep);
    m_rate->addItem(QStringLiteral("12000"), 12000);
    m_codec->addItem(QStringLiteral("PCM"), 0);

    auto *bufRow = new QHBoxLayout;
    bufRow->addWidget(m_buffer, 1);
    bufRow->addWidget(m_bufferValue);
    bufRow->addWidget(new QLabel(tr("msec"), this));

    auto *form = new QFormLayout;
    form->addRow(tr("Audio input"), m_input);
    form->addRow(tr("Audio output"), m_output);
    form->addRow(tr("Audio RX buffering"), bufRow);
    form->addRow(tr("Sample rate"), m_rate);
    form->addRow(tr("Codec"), m_codec);

    auto *rescanBtn = new QPushButton(tr("Rescan\naudio devices"), this);
    auto *panelBtn = new QPushButton(tr("Windows audio devices..."), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(rescanBtn);
    buttons->addWidget(panelBtn);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addStretch();

    connect(rescanBtn, &QPushButton::clicked, this, &AudioTab::rescan);
    connect(panelBtn, &QPushButton::clicked, this, &AudioTab::advancedSettings);
    connect(m_buffer, &QSlider::valueChanged, this, &AudioTab::setBufferSize);
    for (QComboBox *c : { m_input, m_output, m_rate, m_codec })
        connect(c, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &AbstractTab::dataChanged);
    setBufferSize(kBufDefault);
    rescan();
}

void AudioTab::rescan()
{
    const QString pattern = virtualCardPattern();
    m_virtualIn = -1;
    m_virtualOut = -1;
    bool lineIn = false;
    const QString oldIn = m_input->currentText();
    const QString oldOut = m_output->currentText();
    {
        const QSignalBlocker b1(m_input), b2(m_output);
        m_input->clear();
        m_output->clear();
        m_defaultIn.clear();
        m_defaultOut.clear();
        const QList<paudio::DeviceRecord> devices = m_source();
        for (const paudio::DeviceRecord &d : devices) {
            if (d.name.contains(pattern)) {
                if (d.isInput) {
                    // An input named "Line in" is the card's real input.
                    const bool isLine = d.name.contains(QLatin1String("Line in"));
                    if (m_virtualIn < 0 || (isLine && !lineIn)) {
                        m_virtualIn = d.index;
                        lineIn = isLine;
                    }
                } else {
                    m_virtualOut = d.index;
                }
                continue;
            }
            (d.isInput ? m_input : m_output)->addItem(d.name, d.index);
            QString &def = d.isInput ? m_defaultIn : m_defaultOut;
            if (d.isDefault && def.isEmpty())
                def = d.name;
        }
        select(m_input, oldIn);
        select(m_output, oldOut);
    }
    emit reloadAudioDevice();
    if (m_virtualIn < 0 || m_virtualOut < 0) {
        QMessageBox::critical(this, tr("Error"),
            tr("Your system does not have Virtual Sound Card.\n") + tr("Please reinstall your software."));
    }
}

void AudioTab::refresh()
{
    rescan();
    loadSettings();
    saveSettings();
    commitState();
}

bool AudioTab::select(QComboBox *combo, const QString &text)
{
    const int idx = combo->findText(text);
    if (idx >= 0)
        combo->setCurrentIndex(idx);
    return idx >= 0;
}

int AudioTab::inputDevice() const
{
    return m_input->currentIndex() >= 0 ? m_input->currentData().toInt() : -1;
}

int AudioTab::outputDevice() const
{
    return m_output->currentIndex() >= 0 ? m_output->currentData().toInt() : -1;
}

int AudioTab::sampleRate() const
{
    return m_rate->currentData().toInt();
}
int AudioTab::codec() const
{
    return m_codec->currentData().toInt();
}
int AudioTab::rxBuffering() const
{
    return m_buffer->value();
}
QString AudioTab::bufferLabelText() const
{
    return m_bufferValue->text();
}

void AudioTab::setBufferSize(int value)
{
    // A settings file may hold any number; the label shows what the slider can.
    value = qBound(kBufMin, value - value % kBufStep, kBufMax);
    m_bufferValue->setText(QString::number(value));
    if (m_buffer->value() != value)
        m_buffer->setValue(value);
    emit dataChanged();
}

void AudioTab::advancedSettings()
{
    openSoundPanel();
}

QStringList AudioTab::stateFields() const
{
    return { m_input->currentText(), m_output->currentText(), QString::number(rxBuffering()),
        m_rate->currentText(), m_codec->currentText() };
}

void AudioTab::applyFields(const QStringList &f)
{
    if (f.size() < 5)
        return;
    select(m_input, f.at(0));
    select(m_output, f.at(1));
    setBufferSize(f.at(2).toInt());
    select(m_rate, f.at(3));
    select(m_codec, f.at(4));
}

void AudioTab::saveSettings()
{
    Settings *s = Settings::instance();
    s->setValue(Settings::AudioInput, Settings::Audio, m_input->currentText());
    s->setValue(Settings::AudioOutput, Settings::Audio, m_output->currentText());
    s->setValue(Settings::AudioBuffer, Settings::Audio, rxBuffering());
    s->setValue(Settings::AudioSampleRate, Settings::Audio, m_rate->currentText());
    s->setValue(Settings::AudioCodec, Settings::Audio, m_codec->currentText());
}

void AudioTab::loadSettings()
{
    Settings *s = Settings::instance();
    if (!select(m_input, s->value(Settings::AudioInput, Settings::Audio).toString()))
        select(m_input, m_defaultIn);
    if (!select(m_output, s->value(Settings::AudioOutput, Settings::Audio).toString()))
        select(m_output, m_defaultOut);
    bool ok = false;
    const int buf = s->value(Settings::AudioBuffer, Settings::Audio).toInt(&ok);
    setBufferSize(ok ? buf : kBufDefault);
    select(m_rate, s->value(Settings::AudioSampleRate, Settings::Audio).toString());
    select(m_codec, s->value(Settings::AudioCodec, Settings::Audio).toString());
}

} // namespace morvex
