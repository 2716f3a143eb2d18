#include "sim/pttlevels.h"

PttLevels::PttLevels(CmdLinkServer *link, QObject *parent)
    : QObject(parent)
    , m_link(link)
{
    connect(link, &CmdLinkServer::frameReceived, this, &PttLevels::onFrame);
}

void PttLevels::onFrame(int, const SimFrame::Frame &frame)
{
    if (frame.type != SimFrame::Audio || frame.payload.isEmpty())
        return;
    ++m_frames;
    m_sampleRate = frame.value & 0xFFFF;
    m_channelMode = frame.value >> 16;
    m_txBuffer = quint8(frame.payload.at(0));
    if (frame.payload.size() >= 4) {
        ++m_levelFrames;
        m_left = quint8(frame.payload.at(1));
        m_right = quint8(frame.payload.at(2));
        m_tx = quint8(frame.payload.at(3));
    }
}

void PttLevels::addCommands(ControlServer *control)
{
    using Reply = ControlServer::Reply;
    control->addCommand(QStringLiteral("levels"),
        QStringLiteral("levels [LEFT RIGHT TX]  (show, or send the box's levels)"),
        [this](const QStringList &args) {
            if (args.isEmpty()) {
                return Reply::done({ QStringLiteral("frames=%1 levelframes=%2 txbuffer=%3 rate=%4 "
                                                    "mode=%5 left=%6 right=%7 tx=%8")
                                         .arg(m_frames)
                                         .arg(m_levelFrames)
                                         .arg(m_txBuffer)
                                         .arg(m_sampleRate)
                                         .arg(m_channelMode)
                                         .arg(m_left)
                                         .arg(m_right)
                                         .arg(m_tx) });
            }
            int v[3] = { 0, 0, 0 };
            bool ok = args.size() == 3;
            for (int i = 0; ok && i < 3; ++i) {
                v[i] = args.at(i).toInt(&ok);
                ok = ok && v[i] >= 0 && v[i] <= 255;
            }
            if (!ok)
                return Reply::fail(QStringLiteral("usage: levels [LEFT RIGHT TX]"));
            m_left = v[0];
            m_right = v[1];
            m_tx = v[2];
            QByteArray payload;
            payload.append(char(v[0])).append(char(v[1])).append(char(v[2]));
            if (!m_link->sendFrame(SimFrame::Audio, 0, payload))
                return Reply::fail(QStringLiteral("no client"));
            return Reply::done();
        });
}
