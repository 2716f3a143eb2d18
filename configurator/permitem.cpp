#include "configurator/permitem.h"

#include "configurator/hidreport.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <cstring>

namespace configurator {

PermItem::PermItem(bool showCaptions, QWidget *parent)
    : QWidget(parent)
    , m_enableChb(new QCheckBox(this))
    , m_passLe(new QLineEdit(this))
    , m_wtSpb(new QSpinBox(this))
    , m_ptSpb(new QSpinBox(this))
    , m_catChb(new QCheckBox(this))
    , m_pttChb(new QCheckBox(this))
    , m_audioChb(new QCheckBox(this))
    , m_enableLbl(new QLabel(tr("Enable"), this))
    , m_passLbl(new QLabel(tr("Password"), this))
    , m_wtLbl(new QLabel(tr("Work time"), this))
    , m_ptLbl(new QLabel(tr("Pause time"), this))
    , m_catLbl(new QLabel(tr("CAT"), this))
    , m_pttLbl(new QLabel(tr("PTT"), this))
    , m_audioLbl(new QLabel(tr("TX audio level"), this))
{
    m_enableChb->setObjectName(QStringLiteral("m_enableChb"));
    m_passLe->setObjectName(QStringLiteral("m_passLe"));
    m_wtSpb->setObjectName(QStringLiteral("m_wtSpb"));
    m_ptSpb->setObjectName(QStringLiteral("m_ptSpb"));
    m_catChb->setObjectName(QStringLiteral("m_catChb"));
    m_pttChb->setObjectName(QStringLiteral("m_pttChb"));
    m_audioChb->setObjectName(QStringLiteral("m_audioChb"));

    m_passLe->setMaxLength(kPasswordMaxLength);
    m_passLe->setEchoMode(QLineEdit::Normal);
    for (QSpinBox *box : { m_wtSpb, m_ptSpb }) {
        box->setRange(kMinTime, kMaxTime);
        box->setSuffix(tr(" min"));
    }

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    const QList<QLabel *> captions { m_enableLbl, m_passLbl, m_wtLbl, m_ptLbl, m_catLbl, m_pttLbl,
        m_audioLbl };
    const QList<QWidget *> fields { m_enableChb, m_passLe, m_wtSpb, m_ptSpb, m_catChb, m_pttChb, m_audioChb };
    for (int i = 0; i < captions.size(); ++i) {
        if (!showCaptions)
            captions[i]->setFixedHeight(0);
        grid->addWidget(captions[i], 0, i);
        grid->addWidget(fields[i], 1, i);
    }
    grid->setColumnStretch(1, 1);
    if (!showCaptions)
        grid->setVerticalSpacing(0);

    connect(m_enableChb, &QCheckBox::clicked, this, &PermItem::setEnabledPerm);
    for (QCheckBox *box : { m_catChb, m_pttChb, m_audioChb })
        connect(box, &QCheckBox::clicked, this, &PermItem::checkTimeLimits);
    setEnabledPerm(m_enableChb->isChecked());
}

void PermItem::setEnabledPerm(bool state)
{
    for (QWidget *w : { static_cast<QWidget *>(m_catChb), static_cast<QWidget *>(m_pttChb),
             static_cast<QWidget *>(m_audioChb), static_cast<QWidget *>(m_wtSpb),
             static_cast<QWidget *>(m_ptSpb), static_cast<QWidget *>(m_passLe) })
        w->setEnabled(state);
    checkTimeLimits();
}

void PermItem::checkTimeLimits()
{
    if (!m_enableChb->isChecked())
        return;
    // Full rights need no time limits; the values stay and are still sent.
    const bool limited = !(m_catChb->isChecked() && m_pttChb->isChecked() && m_audioChb->isChecked());
    m_wtSpb->setEnabled(limited);
    m_ptSpb->setEnabled(limited);
}

quint8 PermItem::flags() const
{
    quint8 f = 0;
    if (m_enableChb->isChecked())
        f |= Enabled;
    if (m_catChb->isChecked())
        f |= Cat;
    if (m_pttChb->isChecked())
        f |= Ptt;
    if (m_audioChb->isChecked())
        f |= Audio;
    return f;
}

void PermItem::setFlags(quint8 flags)
{
    m_enableChb->setChecked(flags & Enabled);
    setEnabledPerm(m_enableChb->isChecked());
    m_catChb->setChecked(flags & Cat);
    checkTimeLimits();
    m_pttChb->setChecked(flags & Ptt);
    checkTimeLimits();
    m_audioChb->setChecked(flags & Audio);
    checkTimeLimits();
}

void PermItem::setTimes(quint32 workTime, quint32 pauseTime)
{
    m_wtSpb->setValue(int(qMin<quint32>(workTime, kMaxTime)));
    m_ptSpb->setValue(int(qMin<quint32>(pauseTime, kMaxTime)));
}

quint32 PermItem::workTime() const
{
    return quint32(m_wtSpb->value());
}

quint32 PermItem::pauseTime() const
{
    return quint32(m_ptSpb->value());
}

void PermItem::setPassword(const QString &password)
{
    m_passLe->setText(password);
}

QString PermItem::password() const
{
    return m_passLe->text();
}

QByteArray PermItem::slotRequest(int index) const
{
    QByteArray r = HidReport::setRequest(HidReport::PermissionSlot);
    r[3] = char(index);
    r[4] = char(flags());
    HidReport::putU32(r, workTime(), 5);
    HidReport::putU32(r, pauseTime(), 9);
    return r;
}

QByteArray PermItem::passwordRequest(int index) const
{
    QByteArray r = HidReport::setRequest(HidReport::PermissionPassword);
    r[3] = char(index);
    // 60-byte field from byte 4, NUL-padded; byte 64 stays zero.
    const QByteArray bytes = password().toLatin1().left(kPasswordMaxLength);
    std::memcpy(r.data() + 4, bytes.constData(), size_t(bytes.size()));
    return r;
}

} // namespace configurator
