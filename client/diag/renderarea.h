#pragma once

#include <QWidget>

namespace morvex {

// One audio level bar, value 0 to 1, drawn with a green-yellow-red gradient.
class RenderArea final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RenderArea)

public:
    explicit RenderArea(QWidget *parent = nullptr);

    double value() const { return m_value; }
    // Bar width in pixels for the current value and widget width.
    int barWidth() const;

public slots:
    // value 0 to 32767
    void setCh(int channel, int value);
    void setValue(double value);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_value = 0.0;
};

} // namespace morvex
