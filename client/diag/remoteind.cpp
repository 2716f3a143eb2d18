#include "client/diag/remoteind.h"

#include "client/diag/indicator.h"
#include "common/settings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

using namespace brelko;

namespace morvex {

RemoteInd::RemoteInd(QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(tr("TX volume meter"), this))
    , m_db(new QLabel(QStringLiteral("-xx.x dB"), this))
    , m_indicator(new Indicator(this))
    , m_button(new QPushButton(tr("set >> 0 <<"), this))
{
    m_indicator->setRange(0, 32767);
    m_button->setCheckable(true);
    auto *row = new QHBoxLayout;
    row->addWidget(m_indicator, 1);
    row->addWidget(m_db);
    row->addWidget(m_button);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addLayout(row);

    Settings *s = Settings::instance();
    if (s->value(Settings::ZeroLevelEnable, Settings::Levels).toBool()) {
        bool ok = false;
        const int ref = s->value(Settings::ReferenceLevel, Settings::Levels).toInt(&ok);
        // A stored reference outside 1..32767 would divide by zero or flip the scale.
        if (ok && ref > 0 && ref <= kNoReference) {
            m_zeroLevel = qint16(ref);
            m_button->setChecked(true);
            m_button->setText(tr("Reset"));
        }
    }
    connect(m_button, &QPushButton::toggled, this, &RemoteInd::setZeroLevel);
}

QString RemoteInd::dbText() const
{
    return m_db->text();
}

QString RemoteInd::buttonText() const
{
    return m_button->text();
}

int RemoteInd::barValue() const
{
    return m_indicator->value();
}

void RemoteInd::setAmplifierKoef(double koef)
{
    m_koef = koef;
}

void RemoteInd::setLevel(int value)
{
    value = qBound(0, value, 32767);
    const double db = 20.0 * std::log10(double(value) / m_zeroLevel) + m_koef;
    // Silence has no finite level.
    m_db->setText(
        std::isfinite(db) ? QString::number(db, 'f', 1) + QStringLiteral(" dB") : QStringLiteral("-inf dB"));
    const double gain = std::pow(std::pow(10.0, m_koef), 0.05);
    const double scaled = qMin(double(value) * gain, 65535.0);
    m_lastScaled = quint16(scaled);
    qint64 bar = qint64(m_lastScaled) * 32767 / m_zeroLevel;
    if (m_zeroLevel != kNoReference)
        bar = qint64(bar * 0.75);
    m_indicator->setValue(int(qMin<qint64>(bar, INT32_MAX)));
}

void RemoteInd::setZeroLevel()
{
    const bool checked = m_button->isChecked();
    if (checked) {
        if (m_lastScaled != 0)
            m_zeroLevel = qint16(qMin<int>(m_lastScaled, kNoReference));
        m_button->setText(tr("Reset"));
    } else {
        m_zeroLevel = kNoReference;
        m_button->setText(tr(">> 0 << set"));
    }
    Settings *s = Settings::instance();
    s->setValue(Settings::ZeroLevelEnable, Settings::Levels, checked);
    s->setValue(Settings::ReferenceLevel, Settings::Levels, int(m_zeroLevel));
}

} // namespace morvex
