#pragma once

#include <QByteArray>
#include <QWidget>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace configurator {

// One permission slot as a row: enable, password, work and pause time, and
// the CAT, PTT and transmit-audio rights. The first row's captions head the
// columns; the others keep theirs collapsed.
class PermItem final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PermItem)

public:
    enum Flag : quint8 { Enabled = 0x01, Cat = 0x02, Ptt = 0x04, Audio = 0x08 };
    static constexpr int kPasswordMaxLength = 60;
    static constexpr int kMinTime = 1;
    static constexpr int kMaxTime = 9999;

    explicit PermItem(bool showCaptions, QWidget *parent = nullptr);

    quint8 flags() const;
    // Sets the boxes as a click would, so the enabling rules run.
    void setFlags(quint8 flags);
    // Values beyond the spin boxes' range are clamped by them.
    void setTimes(quint32 workTime, quint32 pauseTime);
    quint32 workTime() const;
    quint32 pauseTime() const;
    void setPassword(const QString &password);
    QString password() const;

    // Set requests of HID parameters 29 and 30 for this row as slot index.
    QByteArray slotRequest(int index) const;
    QByteArray passwordRequest(int index) const;

    QCheckBox *enableBox() const { return m_enableChb; }
    QLineEdit *passwordEdit() const { return m_passLe; }
    QSpinBox *workTimeBox() const { return m_wtSpb; }
    QSpinBox *pauseTimeBox() const { return m_ptSpb; }
    QCheckBox *catBox() const { return m_catChb; }
    QCheckBox *pttBox() const { return m_pttChb; }
    QCheckBox *audioBox() const { return m_audioChb; }

public slots:
    void setEnabledPerm(bool state);
    void checkTimeLimits();

private:
    QCheckBox *m_enableChb;
    QLineEdit *m_passLe;
    QSpinBox *m_wtSpb;
    QSpinBox *m_ptSpb;
    QCheckBox *m_catChb;
    QCheckBox *m_pttChb;
    QCheckBox *m_audioChb;
    QLabel *m_enableLbl;
    QLabel *m_passLbl;
    QLabel *m_wtLbl;
    QLabel *m_ptLbl;
    QLabel *m_catLbl;
    QLabel *m_pttLbl;
    QLabel *m_audioLbl;
};

} // namespace configurator
