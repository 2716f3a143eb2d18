#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// The Brelko as its USB HID side sees it: every parameter with its default,
// gets answered from the working values, sets never acknowledged. Settings
// live twice: the working copy that sets change and the stored copy that a
// commit saves and a restart or power cycle brings back.
class HidDeviceModel final
{
public:
    enum class Effect { None, Commit, Reset, Restart };
    // How answers to gets are spoiled, to exercise the configurator's checks.
    enum class Corruption { None, WrongEcho, NoNul, AllFF };

    struct Slot
    {
        quint8 flags = 0;
        quint32 workTime = 1;
        quint32 pauseTime = 1;
        QByteArray password;
    };

    struct Config
    {
        QByteArray networkName = "Brelko";
        QByteArray networkPassword;
        std::array<quint8, 4> ip { { 192, 168, 1, 7 } };
        std::array<quint8, 4> mask { { 255, 255, 255, 0 } };
        std::array<quint8, 4> gateway { { 192, 168, 1, 1 } };
        std::array<quint8, 4> dns { { 192, 168, 1, 1 } };
        QByteArray accessPassword = "brelko";
        quint16 tcpPort = 11000;
        quint16 udpPort = 11000;
        quint16 udpCwPort = 8765;
        quint8 ddnsEnabled = 0;
        quint8 ddnsService = 0;
        QByteArray ddnsAddress;
        QByteArray ddnsLogin;
        QByteArray ddnsPassword;
        std::array<Slot, 7> permSlots {};
    };

    struct Firmware
    {
        quint32 major = 1;
        quint32 minor = 2;
        quint32 build = 0;
        quint32 feature = 2;
        quint32 image = 0xFE0A0001;
    };

    static constexpr int kPayloadSize = 64;
    static constexpr int kImageLimit = 6 + 500000 + 64;

    HidDeviceModel();

    // One output report as the device receives it (no report number: byte 0
    // is the command). Returns the 64-byte input report when the request is
    // answered, else an empty array; *effect tells what the device does next.
    QByteArray process(const QByteArray &payload, Effect *effect);

    // Back to the state of a new device, as if just out of the box.
    void factory();
    // Power cycle: the stored settings become the working ones.
    void powerCycle();

    Config &config() { return m_work; }
    const Config &storedConfig() const { return m_stored; }
    Firmware &firmware() { return m_fw; }

    // Text form of a parameter's working value, as the control channel and
    // the request log show it.
    QString valueText(int param) const;
    // Sets a value as if configured and committed on the device.
    bool setValueText(int param, const QString &text);

    QStringList log() const { return m_log; }
    void clearLog() { m_log.clear(); }
    void appendLog(const QString &line) { m_log.append(line); }
    // The last upload as this device clocked it: chunks stored from chunk 0
    // to the end marker, the time between the two, and the quickest span of
    // 100 consecutive reports.
    QString uploadTiming() const;

    void setSilent(bool on) { m_silent = on; }
    void setCorruption(Corruption c) { m_corruption = c; }

    qint32 rssi = -60;
    quint32 linkState = 0;
    std::array<quint8, 6> mac { { 0x04, 0xB8, 0x95, 0x56, 0x22, 0x89 } };
    quint32 hwMajor = 1;
    quint32 hwMinor = 0;
    QByteArray ddnsResult;
    QByteArray lastError = QByteArray(63, '\0');

    // Firmware image as reassembled from chunks.
    QByteArray image() const { return m_image; }
    quint32 imageDeclaredLength() const;
    // The file as reassembled (without length and CRC); empty until complete.
    QByteArray imageFile() const;
    // The last file a restart installed.
    QByteArray installedFile() const { return m_installed; }
    // Parameter 28 value: type 0 with its reason, 1 to 6 with thirteen
    // registers r0, r1, r2, r3, r12, LR, PC, PSR, BFAR, CFSR, HFSR, DFSR, AFSR.
    static QByteArray lastErrorRecord(int type, const QString &reason, const QList<quint32> &registers);
    bool imageComplete() const;
    bool imageCrcOk() const;
    static quint16 crc16(const QByteArray &data);

private:
    QByteArray answer(quint8 param, const QByteArray &payload) const;
    void applySet(quint8 param, const QByteArray &payload);
    void storeChunk(const QByteArray &payload);
    bool setWorkingText(int param, const QString &text);

    Config m_work;
    Config m_stored;
    Firmware m_fw;
    QStringList m_log;
    QElapsedTimer m_clock;
    qint64 m_uploadStartMs = -1;
    qint64 m_uploadEndMs = -1;
    int m_uploadChunks = 0;
    static constexpr int kGapRun = 100;
    qint64 m_lastChunkUs = -1;
    std::array<qint64, kGapRun> m_gapsUs {}; // the last kGapRun gaps, a ring
    int m_gapCount = 0;
    qint64 m_gapSpanUs = 0;
    qint64 m_fastestRunUs = -1;
    QByteArray m_image;
    QByteArray m_covered; // one flag per image byte received
    QByteArray m_installed;
    bool m_silent = false;
    Corruption m_corruption = Corruption::None;
};
