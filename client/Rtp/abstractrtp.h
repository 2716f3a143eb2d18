#pragma once

#include <QObject>

class QUdpSocket;

namespace morvex {

// Base of the receiver and the sender: both use one process-wide UDP socket,
// so the box sees transmit audio come from the port it sends receive audio to.
class AbstractRtp : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AbstractRtp)

public:
    static constexpr int kSocketBufferSize = 65535;

    explicit AbstractRtp(QObject *parent = nullptr);
    ~AbstractRtp() override;

    // Null while no receiver or sender exists.
    static QUdpSocket *socket();
    static quint16 localPort();
    static int instances();

protected:
    QUdpSocket *m_socket = nullptr;
};

} // namespace morvex
