#pragma once

#include "sim/cmdlinkserver.h"
#include "sim/controlserver.h"

#include <QObject>

// The box's audio level settings: takes the client's level frames (type 2)
// and sends its own levels when told to.
class PttLevels final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PttLevels)

public:
    explicit PttLevels(CmdLinkServer *link, QObject *parent = nullptr);

    void addCommands(ControlServer *control);

private:
    void onFrame(int conn, const SimFrame::Frame &frame);

    CmdLinkServer *m_link;
    int m_frames = 0;
    int m_levelFrames = 0;
    int m_txBuffer = -1;
    quint32 m_sampleRate = 0;
    quint32 m_channelMode = 0;
    int m_left = 255;
    int m_right = 255;
    int m_tx = 255;
};
