#pragma once

#include "sim/controlserver.h"
#include "sim/serialtunneldevice.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The transceiver behind the CAT tunnel: a Kenwood-style command set, enough
// for the TS-2000 backends of radio-control programs. Commands end with ';'.
// Reads answer with the command and its value; sets answer nothing; what the
// radio does not know answers "?;".
class RadioModel final : public SerialTunnelDevice
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RadioModel)

public:
    // A command longer than this without its ';' is noise and is dropped.
    static constexpr int kMaxCommand = 64;
    // Commands kept for the control channel.
    static constexpr int kCommandLog = 10000;
    // Commands written to the log on stderr per connection; a flood would
    // drown everything else.
    static constexpr int kLoggedCommands = 500;
    // Eleven decimal digits.
    static constexpr quint64 kMaxFrequency = 99999999999ULL;

    enum Mode { Lsb = 1, Usb = 2, Cw = 3, Fm = 4, Am = 5, Fsk = 6, CwR = 7, FskR = 9 };

    explicit RadioModel(QObject *parent = nullptr);

    void input(const QByteArray &bytes) override;
    void reset() override;

    quint64 frequency(int vfo) const { return vfo == 1 ? m_freqB : m_freqA; }
    // Changes made here (from the control channel) are reported to the
    // program when it asked for auto-information.
    bool setFrequency(int vfo, quint64 hz);
    int mode() const { return m_mode; }
    bool setMode(int mode);
    bool isTransmitting() const { return m_tx; }
    int rxVfo() const { return m_rxVfo; }
    int txVfo() const { return m_txVfo; }
    int autoInfo() const { return m_autoInfo; }
    bool powerOn() const { return m_power; }
    qint64 commandCount() const { return m_commandCount; }
    qint64 droppedBytes() const { return m_dropped; }
    const QStringList &commands() const { return m_commands; }
    void clearCommands();
    // Back to the state at power-up (commands kept).
    void restoreDefaults();

    // The 38-character answer to "IF;".
    QByteArray ifAnswer() const;
    // Answer to one command without its ';' (empty: no answer).
    QByteArray execute(const QByteArray &command);

    static bool isValidMode(int mode);
    static QString modeName(int mode);
    // A name (USB, CW-R, ...) or a mode number; 0 when unknown.
    static int modeFromText(const QString &text);

    void addCommands(ControlServer *control);

private:
    QByteArray frequencyCommand(char vfo) const;
    void changedByOperator();

    QByteArray m_pending;
    bool m_overflow = false;
    quint64 m_freqA = 14250000;
    quint64 m_freqB = 7050000;
    int m_mode = Usb;
    int m_rxVfo = 0;
    int m_txVfo = 0;
    bool m_tx = false;
    bool m_power = true;
    int m_autoInfo = 0;
    bool m_rit = false;
    bool m_xit = false;
    int m_filterWidth = 0;
    int m_keyerSpeed = 20;
    qint64 m_commandCount = 0;
    qint64 m_dropped = 0;
    int m_loggedThisClient = 0;
    QStringList m_commands;
};
