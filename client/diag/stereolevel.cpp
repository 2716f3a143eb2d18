#include "client/diag/stereolevel.h"

#include "client/diag/renderarea.h"

#include <QVBoxLayout>

namespace morvex {

StereoLevel::StereoLevel(QWidget *parent)
    : QWidget(parent)
    , m_bars { new RenderArea(this), new RenderArea(this) }
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bars[0]);
    layout->addWidget(m_bars[1]);
}

RenderArea *StereoLevel::bar(int channel) const
{
    return (channel == 0 || channel == 1) ? m_bars[channel] : nullptr;
}

void StereoLevel::setValue(int channel, int value)
{
    if (channel == 0 || channel == 1)
        m_bars[channel]->setCh(channel, value);
}

} // namespace morvex
