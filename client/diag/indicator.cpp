#include "client/diag/indicator.h"

#include <QPainter>

namespace morvex {

Indicator::Indicator(QWidget *parent)
    : QLabel(parent)
{
    setMinimumSize(120, 16);
}

void Indicator::setRange(int minimum, int maximum)
{
    m_min = minimum;
    m_max = qMax(minimum, maximum);
    setValue(m_value);
}

void Indicator::setValue(int val)
{
    const int old = barWidth();
    m_value = qMin(m_max, qMax(m_min, val));
    // Meters are fed 20 times a second: repaint only what shows a change.
    if (barWidth() != old)
        update();
}

void Indicator::setValueF(double f)
{
    f = qBound(0.0, f, 1.0);
    const int old = barWidth();
    m_value = int(f * (m_max - m_min));
    if (barWidth() != old)
        update();
}

int Indicator::barWidth() const
{
    const int span = m_max - m_min;
    const double f = span > 0 ? double(m_value - m_min) / span : 0.0;
    return int(f * (width() - 1));
}

void Indicator::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    p.fillRect(frame, palette().color(QPalette::Base));
    const int w = barWidth();
    // Green up to three quarters (the zero reference), red above.
    const int mark = frame.width() * 3 / 4;
    p.fillRect(QRect(frame.left(), frame.top(), qMin(w, mark), frame.height()), QColor(Qt::green));
    if (w > mark)
        p.fillRect(QRect(frame.left() + mark, frame.top(), w - mark, frame.height()), QColor(Qt::red));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(frame);
    p.drawLine(frame.left() + mark, frame.top(), frame.left() + mark, frame.bottom());
}

} // namespace morvex
