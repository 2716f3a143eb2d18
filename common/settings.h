#pragma once

#include <QMap>
#include <QMetaEnum>
#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

namespace brelko {

// The program's INI store. Callers name a setting by section and key; the
// store turns the pair into the INI key path. The client and the configurator
// each build this class with their own enumerations (BRELKO_CONFIGURATOR).
class Settings final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Settings)

public:
#ifdef BRELKO_CONFIGURATOR
    enum Section { General, WiFi, Networking, Connection, DDNS, Permission };
    enum Key { NetworkName, NetworkPassword, IPAddress, MaskAddress, GatewayAddress, DNSAddress,
        AccessPassword, IncomingTcpPort, IncomingUdpPort, IncomingUdpCwPort, UseDDNS, DDNSservice,
        DDNSaddress, DDNSlogin, DDNSpassword, Language, PermEnable0, PermPassword0, PermWorkTime0,
        PermPauseTime0, PermCAT0, PermPTT0, PermAudio0, PermEnable1, PermPassword1, PermWorkTime1,
        PermPauseTime1, PermCAT1, PermPTT1, PermAudio1, PermEnable2, PermPassword2, PermWorkTime2,
        PermPauseTime2, PermCAT2, PermPTT2, PermAudio2, PermEnable3, PermPassword3, PermWorkTime3,
        PermPauseTime3, PermCAT3, PermPTT3, PermAudio3, PermEnable4, PermPassword4, PermWorkTime4,
        PermPauseTime4, PermCAT4, PermPTT4, PermAudio4, PermEnable5, PermPassword5, PermWorkTime5,
        PermPauseTime5, PermCAT5, PermPTT5, PermAudio5, PermEnable6, PermPassword6, PermWorkTime6,
        PermPauseTime6, PermCAT6, PermPTT6, PermAudio6 };
    // Slot n's first key; the seven keys of a slot follow in table order.
    static constexpr int permKey(int slot, int offset)
    {
        return PermEnable0 + 7 * slot + offset;
    }
#else
    enum Section { General, Serial, Network, Audio, Levels, Firmware, Transceiver, WinKey, RigControl };
    enum Key {
        Language,
        Home,
        HotKeyPTT,
        AutoRun,
        Serial_1,
        Serial_2,
        Serial_3,
        Serial_4,
        Serial_5,
        NetworkAddr,
        NetworkPass,
        NetworkTxBuffer,
        NetworkCmdPort,
        NetworkRtpPort,
        NetworkPttCwPort,
        AudioInput,
        AudioOutput,
        AudioBuffer,
        AudioSampleRate,
        AudioCodec,
        VirtualSoundIn,
        VirtualSoundOut,
        ZeroLevelEnable,
        ReferenceLevel,
        HideFirmwareWarning,
        TransceiverLvls,
        WinKeyParameters,
        TxTimeout,
        WineLinks,
        OutputMode,
        LongSoundBuffers,
        RigEnabled,
        RigPort,
        RigRemote,
        RigModel,
        RigPttByCat
    };
#endif
    Q_ENUM(Section)
    Q_ENUM(Key)

    // Assigning to a reference writes the setting at once.
    class Reference
    {
    public:
        Reference(Settings *store, QString path)
            : m_store(store)
            , m_path(std::move(path))
        {
        }
        Reference &operator=(const QVariant &value);
        operator QVariant() const;
        QString path() const { return m_path; }

    private:
        Settings *m_store;
        QString m_path;
    };

    ~Settings() override;

    // Must be called before the first instance() to take effect; later calls
    // only matter to a store not yet created.
    static void setDefaultFile(const QString &path);
    static QString defaultFile();
    // The file the programs use: <GenericDataLocation>/<relative>.
    static QString standardFile(const QString &relative);
    static Settings *instance();

    QVariant value(Key key, Section section = General);
    Reference operator()(Key key, Section section = General);
    void setValue(Key key, Section section, const QVariant &value);

    // Parses "Section/Key: value; Key: value" and registers each valid entry.
    void loadDefaults(const QString &text);
    QVariant defaultValue(const QString &path) const
    {
        return m_defaults.value(path);
    }

    QString keyPath(Key key, Section section) const;
    QString fileName() const;
    // Status of the INI file (a corrupt or unreadable file reports an error).
    int status() const;
    void sync();

#ifdef BRELKO_CONFIGURATOR
    void setFile(const QString &path);
#endif

private:
    explicit Settings(QObject *parent = nullptr);
    void openFile(const QString &path);
    QVariant readPath(const QString &path);
    void writePath(const QString &path, const QVariant &value);

    QMetaEnum m_sectionEnum;
    QMetaEnum m_keyEnum;
    QMap<QString, QVariant> m_defaults;
    std::unique_ptr<QSettings> m_file;
};

} // namespace brelko
