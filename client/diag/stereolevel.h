#pragma once

#include <QWidget>

namespace morvex {

class RenderArea;

// Two level bars: channel 0 and channel 1.
class StereoLevel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StereoLevel)

public:
    explicit StereoLevel(QWidget *parent = nullptr);
    RenderArea *bar(int channel) const;

public slots:
    void setValue(int channel, int value);

private:
    RenderArea *m_bars[2];
};

} // namespace morvex
