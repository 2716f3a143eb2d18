#pragma once

#include <QLabel>

namespace morvex {

// A horizontal bar between a minimum and a maximum.
class Indicator final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Indicator)

public:
    explicit Indicator(QWidget *parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    int value() const { return m_value; }
    void setStyle(int style)
    {
        m_style = style;
        update();
    }
    int style() const { return m_style; }

public slots:
    void setValue(int val);
    void setValueF(double f);
    // Width in pixels of the bar the value shows.
    int barWidth() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_min = 0;
    int m_max = 32767;
    int m_value = 0;
    int m_style = 0;
};

} // namespace morvex
