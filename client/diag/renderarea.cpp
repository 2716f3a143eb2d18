#include "client/diag/renderarea.h"

#include <QLinearGradient>
#include <QPainter>

namespace morvex {

RenderArea::RenderArea(QWidget *parent)
    : QWidget(parent)
{
    setMinimumHeight(30);
    setMinimumWidth(200);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void RenderArea::setCh(int channel, int value)
{
    Q_UNUSED(channel)
    setValue(double(value) / 32767.0);
}

void RenderArea::setValue(double value)
{
    const int old = barWidth();
    const bool wasEmpty = m_value == 0.0;
    m_value = value;
    // Meters are fed 20 times a second: repaint only what shows a change.
    if (barWidth() != old || wasEmpty != (m_value == 0.0))
        update();
}

int RenderArea::barWidth() const
{
    return int(m_value * (width() - 32));
}

void RenderArea::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    const QRect outline(10, 10, width() - 21, height() - 21);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(outline);
    if (m_value == 0.0)
        return;
    const int w = barWidth();
    QLinearGradient gradient(outline.topLeft(), outline.bottomRight());
    gradient.setColorAt(0.0, Qt::green);
    gradient.setColorAt(0.5, Qt::yellow);
    gradient.setColorAt(1.0, Qt::red);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRect(QRect(QPoint(outline.left() + 1, outline.top() + 1),
        QPoint(outline.left() + w - 1, outline.top() + outline.height())));
}

} // namespace morvex
