#include "client/controller/transceiverlevels.h"

#include "client/controller/levelcodes.h"
#include "client/link/audiopacket.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

namespace morvex {

namespace {
QSlider *levelSlider(int maximum, QWidget *parent)
{
    auto *s = new QSlider(Qt::Vertical, parent);
    s->setRange(0, maximum);
    s->setMinimumHeight(100);
    return s;
}

void setQuietly(QSlider *slider, int value)
{
    const QSignalBlocker block(slider);
    slider->setValue(value);
}
} // namespace

TransceiverLevels::TransceiverLevels(QWidget *parent)
    : QGroupBox(parent)
    , m_subLabel(new QLabel(this))
    , m_mainLabel(new QLabel(this))
    , m_txLabel(new QLabel(this))
    , m_inSliderL(levelSlider(int(AudioPacket::kMaxInLevel), this))
    , m_inSliderR(levelSlider(int(AudioPacket::kMaxInLevel), this))
    , m_outSlider(levelSlider(LevelCodes::kMaxCode, this))
    , m_inTextL(new QLabel(QStringLiteral("+0.0 dB"), this))
    , m_inTextR(new QLabel(QStringLiteral("+0.0 dB"), this))
    , m_outText(new QLabel(QStringLiteral("+0.0 dB"), this))
{
    setCheckable(true);
    auto *trx = new QGridLayout(this);
    trx->addWidget(m_mainLabel, 0, 0, Qt::AlignHCenter);
    trx->addWidget(m_subLabel, 0, 1, Qt::AlignHCenter);
    trx->addWidget(m_txLabel, 0, 2, Qt::AlignHCenter);
    trx->addWidget(m_inSliderL, 1, 0, Qt::AlignHCenter);
    trx->addWidget(m_inSliderR, 1, 1, Qt::AlignHCenter);
    trx->addWidget(m_outSlider, 1, 2, Qt::AlignHCenter);
    trx->addWidget(m_inTextL, 2, 0, Qt::AlignHCenter);
    trx->addWidget(m_inTextR, 2, 1, Qt::AlignHCenter);
    trx->addWidget(m_outText, 2, 2, Qt::AlignHCenter);
    connect(m_outSlider, &QSlider::valueChanged, this, &TransceiverLevels::changeOutputLevel);
    connect(m_inSliderL, &QSlider::valueChanged, this, &TransceiverLevels::changeInputLevelL);
    connect(m_inSliderR, &QSlider::valueChanged, this, &TransceiverLevels::changeInputLevelR);
    retranslate();
}

QString TransceiverLevels::inputTextL() const
{
    return m_inTextL->text();
}
QString TransceiverLevels::inputTextR() const
{
    return m_inTextR->text();
}
QString TransceiverLevels::outputText() const
{
    return m_outText->text();
}

void TransceiverLevels::setReceivers(bool mainOn, bool subOn)
{
    m_inSliderL->setEnabled(mainOn);
    m_inTextL->setEnabled(mainOn);
    m_mainLabel->setEnabled(mainOn);
    m_inSliderR->setEnabled(subOn);
    m_inTextR->setEnabled(subOn);
    m_subLabel->setEnabled(subOn);
}

void TransceiverLevels::retranslate()
{
    // The window's words, so its catalogue still serves.
    setTitle(QCoreApplication::translate("morvex::Window", "Transceiver levels"));
    m_subLabel->setText(QCoreApplication::translate("morvex::Window", "Sub RX"));
    m_mainLabel->setText(QCoreApplication::translate("morvex::Window", "Main RX"));
    m_txLabel->setText(QCoreApplication::translate("morvex::Window", "TX"));
}

void TransceiverLevels::changeInputLevelL(int value)
{
    m_inTextL->setText(LevelCodes::text(value));
    emit inLevelLChanged(quint32(value));
}

void TransceiverLevels::changeInputLevelR(int value)
{
    m_inTextR->setText(LevelCodes::text(value));
    emit inLevelRChanged(quint32(value));
}

void TransceiverLevels::changeOutputLevel(int value)
{
    const int code = LevelCodes::kMaxCode - value;
    m_outText->setText(LevelCodes::text(code));
    emit outLevelShown(code);
    emit outLevelChanged(quint32(code));
}

void TransceiverLevels::setInLevelL(quint32 code)
{
    setQuietly(m_inSliderL, int(code));
    m_inTextL->setText(LevelCodes::text(int(code)));
}

void TransceiverLevels::setInLevelR(quint32 code)
{
    setQuietly(m_inSliderR, int(code));
    m_inTextR->setText(LevelCodes::text(int(code)));
}

void TransceiverLevels::setOutLevel(quint32 code)
{
    setQuietly(m_outSlider, LevelCodes::kMaxCode - int(code));
    m_outText->setText(LevelCodes::text(int(code)));
    emit outLevelShown(int(code));
}

} // namespace morvex
