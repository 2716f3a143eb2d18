#pragma once

#include "client/rigctl/rigcommand.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

struct s_rig;

namespace morvex {

struct HamlibApi;

// The radio behind Morvex's own CAT port, driven by Hamlib the way a local
// program would drive it. Hamlib blocks on the serial line, so this object
// lives in a thread of its own; everything reaches it by queued calls.
class HamlibRig final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HamlibRig)

public:
    struct Config
    {
        int model = 0; // 0: no radio model, frequency and mode unavailable
        QString path; // the CAT port's device node
        bool pttByCat = false;
    };

    // Failures to open the radio closer together than this are not logged again.
    static constexpr int kQuietMs = 30000;

    explicit HamlibRig(QObject *parent = nullptr);
    ~HamlibRig() override;

    // Hamlib's radio models, number and "Maker Model", sorted by maker.
    static QList<QPair<int, QString>> models();
    static QString modelName(int model);

public slots:
    void configure(const HamlibRig::Config &config);
    void execute(quint64 ticket, const RigCommand &cmd);
    void shutdown();

signals:
    void done(quint64 ticket, const RigResult &result);

private:
    RigResult run(const RigCommand &cmd);
    RigResult runRadio(const RigCommand &cmd);
    bool ensureOpen();
    void closeRig();
    QByteArray dumpState(bool withTail) const;
    QByteArray dumpCaps() const;

    Config m_config;
    const HamlibApi *m_hamlib = nullptr; // null: Hamlib could not be loaded
    s_rig *m_rig = nullptr; // Hamlib's handle of the configured model
    s_rig *m_caps = nullptr; // a never-opened handle whose state describes the rig
    bool m_open = false;
    int m_catPtt = 0; // PTT last set by CAT
    QElapsedTimer m_lastTry;
};

} // namespace morvex

Q_DECLARE_METATYPE(morvex::HamlibRig::Config)
