#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace morvex {

class Indicator;

// Transmit volume meter with an adjustable zero reference.
class RemoteInd final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteInd)

public:
    static constexpr qint16 kNoReference = 32767;

    explicit RemoteInd(QWidget *parent = nullptr);

    QString dbText() const;
    QString buttonText() const;
    int barValue() const;
    qint16 zeroLevel() const { return m_zeroLevel; }
    QPushButton *button() const { return m_button; }

public slots:
    void setLevel(int value);
    void setAmplifierKoef(double koef);
    void setZeroLevel();

private:
    QLabel *m_title;
    QLabel *m_db;
    Indicator *m_indicator;
    QPushButton *m_button;
    double m_koef = 0.0;
    qint16 m_zeroLevel = kNoReference;
    quint16 m_lastScaled = 0;
};

} // namespace morvex
