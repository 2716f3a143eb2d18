#pragma once

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;

namespace configurator {

// A caption and four octet fields. The value's bytes in memory order are the
// octets in reading order: byte 0 (least significant) is the leftmost field,
// as the device sends and expects them.
class IpAddressField final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IpAddressField)

public:
    explicit IpAddressField(QWidget *parent = nullptr);

    void setCaption(const QString &text);
    QString caption() const;
    void setAddress(quint32 address);
    // 0 with *ok false when a field is empty, not a number or above 255.
    quint32 address(bool *ok = nullptr) const;
    QLineEdit *octet(int index) const { return m_octets.at(size_t(index)); }

private:
    QLabel *m_caption;
    std::array<QLineEdit *, 4> m_octets {};
};

} // namespace configurator
