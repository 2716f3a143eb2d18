#include "client/controller/headsetpanel.h"

#include "client/diag/stereolevel.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>

namespace morvex {

namespace {
// The window's words, so its catalogue still serves.
QString text(const char *source)
{
    return QCoreApplication::translate("morvex::Window", source);
}
} // namespace

HeadsetPanel::HeadsetPanel(QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(this))
    , m_headL(new QLabel(this))
    , m_headR(new QLabel(this))
    , m_micLabel(new QLabel(this))
    , m_rxLevels(new StereoLevel(this))
    , m_micLevel(new StereoLevel(this))
{
    auto *headset = new QGridLayout(this);
    headset->setContentsMargins(0, 0, 0, 0);
    headset->addWidget(m_title, 0, 0, 1, 2);
    headset->addWidget(m_headL, 1, 0);
    headset->addWidget(m_headR, 2, 0);
    headset->addWidget(m_rxLevels, 1, 1, 2, 1);
    headset->addWidget(m_micLabel, 3, 0);
    headset->addWidget(m_micLevel, 3, 1);
    retranslate();
}

void HeadsetPanel::setReceiver(paudio::OutputMode mode)
{
    m_mode = mode;
    const QString left = mode == paudio::SubRx ? text("Sub RX") : text("Main RX");
    const QString right = mode == paudio::MainRx ? text("Main RX") : text("Sub RX");
    m_headL->setText(text("Headphone L") + QStringLiteral(" - ") + left);
    m_headR->setText(text("Headphone R") + QStringLiteral(" - ") + right);
}

void HeadsetPanel::setRxLevel(int channel, int level)
{
    m_rxLevels->setValue(channel, level);
}

void HeadsetPanel::setMicLevel(int level)
{
    m_micLevel->setValue(0, level);
    m_micLevel->setValue(1, level);
}

void HeadsetPanel::retranslate()
{
    m_title->setText(text("Headset levels"));
    m_micLabel->setText(text("Microphone"));
    setReceiver(m_mode);
}

} // namespace morvex
