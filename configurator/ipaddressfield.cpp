#include "configurator/ipaddressfield.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>

namespace configurator {

namespace {
// QIntValidator lets "999" be typed as an intermediate value; an octet field
// must refuse every value above 255 outright.
class OctetValidator final : public QIntValidator
{
public:
    explicit OctetValidator(QObject *parent)
        : QIntValidator(0, 255, parent)
    {
    }

    State validate(QString &input, int &pos) const override
    {
        const State s = QIntValidator::validate(input, pos);
        if (s == Intermediate && !input.isEmpty()) {
            bool ok = false;
            const int v = input.toInt(&ok);
            if (ok && v > top())
                return Invalid;
        }
        return s;
    }
};
} // namespace

IpAddressField::IpAddressField(QWidget *parent)
    : QWidget(parent)
    , m_caption(new QLabel(this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    m_caption->setMinimumWidth(100);
    m_caption->setMaximumWidth(100);
    row->addWidget(m_caption);
    for (size_t i = 0; i < m_octets.size(); ++i) {
        if (i > 0)
            row->addWidget(new QLabel(QStringLiteral("."), this));
        auto *edit = new QLineEdit(this);
        edit->setMaximumWidth(50);
        edit->setAlignment(Qt::AlignRight);
        edit->setValidator(new OctetValidator(edit));
        m_octets[i] = edit;
        row->addWidget(edit);
    }
    row->addStretch();
}

void IpAddressField::setCaption(const QString &text)
{
    m_caption->setText(text);
}

QString IpAddressField::caption() const
{
    return m_caption->text();
}

void IpAddressField::setAddress(quint32 address)
{
    for (size_t i = 0; i < m_octets.size(); ++i)
        m_octets[i]->setText(QString::number((address >> (8 * i)) & 0xFF));
}

quint32 IpAddressField::address(bool *ok) const
{
    quint32 value = 0;
    for (size_t i = 0; i < m_octets.size(); ++i) {
        bool good = false;
        const uint octet = m_octets[i]->text().toUInt(&good);
        // A value above 255 (set from code, past the validator) would spill
        // into the next octet.
        if (!good || octet > 255) {
            if (ok)
                *ok = false;
            return 0;
        }
        value |= quint32(octet) << (8 * i);
    }
    if (ok)
        *ok = true;
    return value;
}

} // namespace configurator
