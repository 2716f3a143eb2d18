#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtEndian>

// Records what the test sound server plays into one sink (its monitor), as
// 12000 Hz interleaved 16-bit stereo.
class SinkRecorder
{
public:
    SinkRecorder() = default;
    SinkRecorder(const SinkRecorder &) = delete;
    SinkRecorder &operator=(const SinkRecorder &) = delete;
    ~SinkRecorder()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool start(const QString &sink = QStringLiteral("spk"))
    {
        m_process.start(QStringLiteral("parec"),
            { QStringLiteral("-d"), sink + QStringLiteral(".monitor"), QStringLiteral("--rate=12000"),
                QStringLiteral("--channels=2"), QStringLiteral("--format=s16le"), QStringLiteral("--raw"),
                QStringLiteral("--latency-msec=20") },
            QIODevice::ReadOnly);
        return m_process.waitForStarted(5000);
    }
    // Takes in what has arrived.
    void poll() { m_data += m_process.readAllStandardOutput(); }
    void clear() { m_data.clear(); }
    int frames() const { return m_data.size() / 4; }
    qint16 sample(int frame, int channel) const
    {
        return qFromLittleEndian<qint16>(m_data.constData() + 4 * frame + 2 * channel);
    }

private:
    QProcess m_process;
    QByteArray m_data;
};
