#pragma once

#include <QByteArray>
#include <QObject>

// What sits behind one serial tunnel of the box: it takes the bytes the
// client's program wrote and answers through output().
class SerialTunnelDevice : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialTunnelDevice)

public:
    explicit SerialTunnelDevice(QObject *parent = nullptr)
        : QObject(parent)
    {
    }

    virtual void input(const QByteArray &bytes) = 0;
    // A new client: forget half-received input.
    virtual void reset() { }

signals:
    void output(const QByteArray &bytes);
};
