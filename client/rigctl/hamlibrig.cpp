#include "client/rigctl/hamlibrig.h"

#include "client/rigctl/hamliblibrary.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <sys/ioctl.h>

namespace morvex {

namespace {

int collectModel(const struct rig_caps *caps, rig_ptr_t data)
{
    auto *list = static_cast<QList<QPair<int, QString>> *>(data);
    list->append({ int(caps->rig_model),
        QString::fromLatin1(caps->mfg_name) + QLatin1Char(' ') + QString::fromLatin1(caps->model_name) });
    return 1;
}

QString hz(double f)
{
    return QString::number(qint64(f));
}

QString yn(bool b)
{
    return b ? QStringLiteral("Y") : QStringLiteral("N");
}

RigResult status(int code)
{
    RigResult r;
    r.status = code > 0 ? -code : code;
    return r;
}

RigResult values(std::initializer_list<QPair<QString, QString>> list)
{
    RigResult r;
    for (const auto &v : list)
        r.values.append(v);
    return r;
}

} // namespace

HamlibRig::HamlibRig(QObject *parent)
    : QObject(parent)
{
    // Also by the names the signals are declared with inside the namespace.
    qRegisterMetaType<RigCommand>("RigCommand");
    qRegisterMetaType<RigResult>("RigResult");
    qRegisterMetaType<HamlibRig::Config>("HamlibRig::Config");
}

HamlibRig::~HamlibRig()
{
    shutdown();
}

QList<QPair<int, QString>> HamlibRig::models()
{
    QList<QPair<int, QString>> list;
    const HamlibApi *hl = HamlibLibrary::api();
    if (!hl)
        return list;
    hl->rig_list_foreach(collectModel, &list);
    std::sort(list.begin(), list.end(), [](const auto &a, const auto &b) {
        return a.second.compare(b.second, Qt::CaseInsensitive) < 0
            || (a.second.compare(b.second, Qt::CaseInsensitive) == 0 && a.first < b.first);
    });
    return list;
}

QString HamlibRig::modelName(int model)
{
    const HamlibApi *hl = HamlibLibrary::api();
    if (!hl)
        return QString();
    const struct rig_caps *caps = hl->rig_get_caps(rig_model_t(model));
    if (!caps)
        return QString();
    return QString::fromLatin1(caps->mfg_name) + QLatin1Char(' ') + QString::fromLatin1(caps->model_name);
}

void HamlibRig::shutdown()
{
    closeRig();
    if (m_caps) {
        m_hamlib->rig_cleanup(m_caps);
        m_caps = nullptr;
    }
}

void HamlibRig::closeRig()
{
    m_catPtt = 0;
    if (m_rig) {
        if (m_open)
            m_hamlib->rig_close(m_rig);
        m_hamlib->rig_cleanup(m_rig);
        m_rig = nullptr;
    }
    m_open = false;
}

void HamlibRig::configure(const HamlibRig::Config &config)
{
    shutdown();
    m_config = config;
    // Without the library every command that needs it fails, as for a
    // radio that cannot be opened.
    m_hamlib = HamlibLibrary::api();
    if (!m_hamlib)
        return;
    if (m_config.model > 0 && !m_hamlib->rig_get_caps(rig_model_t(m_config.model))) {
        qWarning().noquote()
            << QStringLiteral("Rig control: Hamlib has no radio model %1").arg(m_config.model);
        m_config.model = 0;
    }
    // Without a model the answers to dump_state still need ranges: the dummy's.
    m_caps = m_hamlib->rig_init(rig_model_t(m_config.model > 0 ? m_config.model : RIG_MODEL_DUMMY));
    // The radio is opened by the first command that needs it: at start-up the
    // box is not connected yet, and the port stays free until a program asks.
    m_lastTry.invalidate();
}

bool HamlibRig::ensureOpen()
{
    if (m_open)
        return true;
    if (m_config.model <= 0 || !m_hamlib)
        return false;
    // Tried again for every command (the box may have come up since); the
    // console hears of a failure once, not once per command.
    const bool quiet = m_lastTry.isValid() && m_lastTry.elapsed() < kQuietMs;
    m_lastTry.start();
    if (m_config.path.isEmpty()) {
        if (!quiet)
            qWarning().noquote() << "Rig control: no CAT port to reach the radio";
        return false;
    }
    if (!m_rig) {
        m_rig = m_hamlib->rig_init(rig_model_t(m_config.model));
        if (!m_rig)
            return false;
        const QByteArray path = QFile::encodeName(m_config.path);
        qstrncpy(m_rig->state.rigport.pathname, path.constData(), HAMLIB_FILPATHLEN);
    }
    const int rc = m_hamlib->rig_open(m_rig);
    if (rc != RIG_OK) {
        if (!quiet)
            qWarning().noquote() << QStringLiteral("Rig control: cannot open the radio on %1: %2")
                                        .arg(m_config.path,
                                            QString::fromLatin1(m_hamlib->rigerror2(rc)).trimmed());
        m_hamlib->rig_cleanup(m_rig);
        m_rig = nullptr;
        return false;
    }
    m_open = true;
    m_lastTry.invalidate();
    // Several programs share this radio through us: each question reaches it,
    // rather than one program's answer being another's stale cache.
    m_hamlib->rig_set_cache_timeout_ms(m_rig, HAMLIB_CACHE_ALL, 0);
    // While we hold the CAT port, a program opening it meets a busy port.
    if (m_rig->state.rigport.fd >= 0 && ::ioctl(m_rig->state.rigport.fd, TIOCEXCL) != 0)
        qWarning().noquote() << "Rig control: cannot hold" << m_config.path << "exclusively";
    qDebug().noquote()
        << QStringLiteral("Rig control: %1 open on %2").arg(modelName(m_config.model), m_config.path);
    return true;
}

void HamlibRig::execute(quint64 ticket, const RigCommand &cmd)
{
    emit done(ticket, run(cmd));
}

RigResult HamlibRig::run(const RigCommand &cmd)
{
    switch (cmd.op) {
    case RigCommand::ChkVfo:
        return values({ { QStringLiteral("ChkVFO"), QStringLiteral("0") } });
    case RigCommand::GetLockMode:
        return values({ { QStringLiteral("Locked"), QStringLiteral("0") } });
    case RigCommand::DumpState: {
        if (!m_hamlib)
            return status(RIG_EIO);
        RigResult r;
        r.raw = dumpState(cmd.newClient);
        return r;
    }
    case RigCommand::DumpCaps: {
        if (!m_hamlib)
            return status(RIG_EIO);
        RigResult r;
        r.raw = dumpCaps();
        r.rawWithStatus = true;
        return r;
    }
    case RigCommand::GetPowerstat:
        if (m_config.model <= 0)
            return status(RIG_ENAVAIL);
        break;
    case RigCommand::GetPtt:
    case RigCommand::SetPtt:
        // Only reaches here when PTT goes by CAT.
        break;
    default:
        if (!cmd.needsRadio())
            return status(RIG_EINVAL);
        if (m_config.model <= 0)
            return status(RIG_ENAVAIL);
        break;
    }
    if (!ensureOpen())
        return status(RIG_EIO);
    const RigResult r = runRadio(cmd);
    if (r.status == -RIG_EIO || r.status == -RIG_BUSERROR) {
        // The port went away (deleted, taken over): open afresh next time.
        closeRig();
        m_lastTry.invalidate();
    }
    return r;
}

RigResult HamlibRig::runRadio(const RigCommand &cmd)
{
    const HamlibApi &h = *m_hamlib;
    RIG *rig = m_rig;
    const QStringList &a = cmd.args;
    const vfo_t vfo = RIG_VFO_CURR;
    auto passband = [](const QString &s) { return pbwidth_t(s.toLongLong()); };
    switch (cmd.op) {
    case RigCommand::GetFreq: {
        freq_t f = 0;
        const int rc = h.rig_get_freq(rig, vfo, &f);
        return rc != RIG_OK ? status(rc) : values({ { QStringLiteral("Frequency"), hz(f) } });
    }
    case RigCommand::SetFreq:
        return status(h.rig_set_freq(rig, vfo, freq_t(a.at(0).toDouble())));
    case RigCommand::GetMode:
    case RigCommand::GetSplitMode: {
        rmode_t mode = RIG_MODE_NONE;
        pbwidth_t width = 0;
        const bool split = cmd.op == RigCommand::GetSplitMode;
        const int rc
            = split ? h.rig_get_split_mode(rig, vfo, &mode, &width) : h.rig_get_mode(rig, vfo, &mode, &width);
        if (rc != RIG_OK)
            return status(rc);
        return values({ { split ? QStringLiteral("TX Mode") : QStringLiteral("Mode"),
                            QString::fromLatin1(h.rig_strrmode(mode)) },
            { split ? QStringLiteral("TX Passband") : QStringLiteral("Passband"),
                QString::number(qint64(width)) } });
    }
    case RigCommand::SetMode:
    case RigCommand::SetSplitMode: {
        const rmode_t mode = h.rig_parse_mode(a.at(0).toLatin1().constData());
        if (mode == RIG_MODE_NONE)
            return status(RIG_EINVAL);
        if (cmd.op == RigCommand::SetSplitMode)
            return status(h.rig_set_split_mode(rig, vfo, mode, passband(a.at(1))));
        return status(h.rig_set_mode(rig, vfo, mode, passband(a.at(1))));
    }
    case RigCommand::GetVfo: {
        vfo_t v = RIG_VFO_NONE;
        const int rc = h.rig_get_vfo(rig, &v);
        return rc != RIG_OK ? status(rc)
                            : values({ { QStringLiteral("VFO"), QString::fromLatin1(h.rig_strvfo(v)) } });
    }
    case RigCommand::SetVfo: {
        const vfo_t v = h.rig_parse_vfo(a.at(0).toLatin1().constData());
        if (v == RIG_VFO_NONE)
            return status(RIG_EINVAL);
        return status(h.rig_set_vfo(rig, v));
    }
    case RigCommand::GetSplitVfo: {
        split_t split = RIG_SPLIT_OFF;
        vfo_t tx = RIG_VFO_NONE;
        const int rc = h.rig_get_split_vfo(rig, vfo, &split, &tx);
        if (rc != RIG_OK)
            return status(rc);
        return values({ { QStringLiteral("Split"), QString::number(int(split)) },
            { QStringLiteral("TX VFO"), QString::fromLatin1(h.rig_strvfo(tx)) } });
    }
    case RigCommand::SetSplitVfo: {
        const vfo_t tx = h.rig_parse_vfo(a.at(1).toLatin1().constData());
        if (tx == RIG_VFO_NONE)
            return status(RIG_EINVAL);
        return status(h.rig_set_split_vfo(rig, vfo, split_t(a.at(0).toInt()), tx));
    }
    case RigCommand::GetSplitFreq: {
        freq_t f = 0;
        const int rc = h.rig_get_split_freq(rig, vfo, &f);
        return rc != RIG_OK ? status(rc) : values({ { QStringLiteral("TX Frequency"), hz(f) } });
    }
    case RigCommand::SetSplitFreq:
        return status(h.rig_set_split_freq(rig, vfo, freq_t(a.at(0).toDouble())));
    case RigCommand::GetLevel:
    case RigCommand::SetLevel: {
        const setting_t level = h.rig_parse_level(a.at(0).toLatin1().constData());
        if (level == 0)
            return status(RIG_EINVAL);
        value_t value;
        std::memset(&value, 0, sizeof value);
        if (cmd.op == RigCommand::SetLevel) {
            if (!h.rig_has_set_level(rig, level))
                return status(RIG_ENAVAIL);
            if (RIG_LEVEL_IS_FLOAT(level))
                value.f = a.at(1).toFloat();
            else
                value.i = int(a.at(1).toDouble());
            return status(h.rig_set_level(rig, vfo, level, value));
        }
        if (!h.rig_has_get_level(rig, level))
            return status(RIG_ENAVAIL);
        const int rc = h.rig_get_level(rig, vfo, level, &value);
        if (rc != RIG_OK)
            return status(rc);
        const QString text
            = RIG_LEVEL_IS_FLOAT(level) ? QString::number(double(value.f), 'f', 6) : QString::number(value.i);
        return values({ { QString(), text } });
    }
    case RigCommand::GetPtt: {
        // Radios without a PTT query: what we last set (Hamlib keeps that
        // only in the cache we turned off).
        auto ptt = ptt_t(m_catPtt);
        const int rc = rig->caps->get_ptt ? h.rig_get_ptt(rig, vfo, &ptt) : RIG_OK;
        return rc != RIG_OK ? status(rc) : values({ { QStringLiteral("PTT"), QString::number(int(ptt)) } });
    }
    case RigCommand::SetPtt: {
        const auto ptt = ptt_t(a.at(0).toInt());
        const int rc = h.rig_set_ptt(rig, vfo, ptt);
        if (rc == RIG_OK)
            m_catPtt = ptt;
        return status(rc);
    }
    case RigCommand::GetPowerstat: {
        powerstat_t ps = RIG_POWER_UNKNOWN;
        const int rc = h.rig_get_powerstat(rig, &ps);
        return rc != RIG_OK ? status(rc)
                            : values({ { QStringLiteral("Power Status"), QString::number(int(ps)) } });
    }
    case RigCommand::SetPowerstat:
        return status(h.rig_set_powerstat(rig, powerstat_t(a.at(0).toInt())));
    default:
        return status(RIG_EINVAL);
    }
}

QByteArray HamlibRig::dumpState(bool withTail) const
{
    // The layout Hamlib's network client reads: protocol 1, the ranges, steps
    // and filters, then key=value lines up to "done".
    const RIG *rig = m_caps;
    if (!rig)
        return QByteArray();
    const HamlibApi &h = *m_hamlib;
    const struct rig_state *rs = &rig->state;
    const struct rig_caps *caps = rig->caps;
    const bool radio = m_config.model > 0;
    QByteArray out;
    auto line = [&out](const QString &s) { out += s.toLatin1() + '\n'; };
    auto hex = [](quint64 v) { return QStringLiteral("0x") + QString::number(v, 16); };
    line(QStringLiteral("1"));
    line(QString::number(radio ? m_config.model : int(RIG_MODEL_DUMMY)));
    line(QStringLiteral("0"));
    auto ranges = [&](const freq_range_t *list) {
        for (int i = 0; i < HAMLIB_FRQRANGESIZ && !RIG_IS_FRNG_END(list[i]); ++i) {
            line(QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                     .arg(QString::number(double(list[i].startf), 'f', 6),
                         QString::number(double(list[i].endf), 'f', 6), hex(list[i].modes),
                         QString::number(list[i].low_power), QString::number(list[i].high_power),
                         hex(list[i].vfo), hex(list[i].ant)));
        }
        line(QStringLiteral("0 0 0 0 0 0 0"));
    };
    ranges(rs->rx_range_list);
    ranges(rs->tx_range_list);
    for (int i = 0; i < HAMLIB_TSLSTSIZ && !RIG_IS_TS_END(rs->tuning_steps[i]); ++i)
        line(hex(rs->tuning_steps[i].modes) + QLatin1Char(' ') + QString::number(rs->tuning_steps[i].ts));
    line(QStringLiteral("0 0"));
    for (int i = 0; i < HAMLIB_FLTLSTSIZ && !RIG_IS_FLT_END(rs->filters[i]); ++i)
        line(hex(rs->filters[i].modes) + QLatin1Char(' ') + QString::number(rs->filters[i].width));
    line(QStringLiteral("0 0"));
    line(QString::number(rs->max_rit));
    line(QString::number(rs->max_xit));
    line(QString::number(rs->max_ifshift));
    line(QString::number(rs->announces));
    QString list;
    for (int i = 0; i < HAMLIB_MAXDBLSTSIZ && rs->preamp[i] != 0; ++i)
        list += QString::number(rs->preamp[i]) + QLatin1Char(' ');
    line(list);
    list.clear();
    for (int i = 0; i < HAMLIB_MAXDBLSTSIZ && rs->attenuator[i] != 0; ++i)
        list += QString::number(rs->attenuator[i]) + QLatin1Char(' ');
    line(list);
    // Without a radio only PTT works: announce no functions or levels.
    line(hex(radio ? rs->has_get_func : 0));
    line(hex(radio ? rs->has_set_func : 0));
    line(hex(radio ? rs->has_get_level : 0));
    line(hex(radio ? rs->has_set_level : 0));
    line(hex(radio ? rs->has_get_parm : 0));
    line(hex(radio ? rs->has_set_parm : 0));
    if (!withTail)
        return out;
    line(QStringLiteral("vfo_ops=") + hex(radio ? quint64(caps->vfo_ops) : 0));
    // PTT is always ours to give: through the box or by CAT.
    line(QStringLiteral("ptt_type=0x1"));
    line(QStringLiteral("targetable_vfo=") + hex(radio ? quint64(caps->targetable_vfo) : 0));
    line(QStringLiteral("has_set_vfo=%1").arg(radio && caps->set_vfo ? 1 : 0));
    line(QStringLiteral("has_get_vfo=%1").arg(radio && caps->get_vfo ? 1 : 0));
    line(QStringLiteral("has_set_freq=%1").arg(!radio || caps->set_freq ? 1 : 0));
    line(QStringLiteral("has_get_freq=%1").arg(!radio || caps->get_freq ? 1 : 0));
    line(QStringLiteral("has_set_conf=0"));
    line(QStringLiteral("has_get_conf=0"));
    line(QStringLiteral("has_power2mW=0"));
    line(QStringLiteral("has_mW2power=0"));
    line(QStringLiteral("timeout=%1").arg(radio ? caps->timeout : 0));
    line(QStringLiteral("rig_model=%1").arg(radio ? m_config.model : int(RIG_MODEL_DUMMY)));
    line(QStringLiteral("rigctld_version=Morvex ") + QString::fromLatin1(*h.hamlib_version2));
    line(QStringLiteral("done"));
    return out;
}

QByteArray HamlibRig::dumpCaps() const
{
    QByteArray out;
    auto line = [&out](const QString &s) { out += s.toLatin1() + '\n'; };
    const bool radio = m_config.model > 0 && m_caps;
    if (!radio) {
        line(QStringLiteral("Caps dump for model: 0"));
        line(QStringLiteral("Model name:\tNone (PTT only)"));
        line(QStringLiteral("Can set PTT:\tY"));
        line(QStringLiteral("Can get PTT:\tY"));
        return out;
    }
    const HamlibApi &h = *m_hamlib;
    const struct rig_caps *caps = m_caps->caps;
    line(QStringLiteral("Caps dump for model: %1").arg(m_config.model));
    line(QStringLiteral("Model name:\t") + QString::fromLatin1(caps->model_name));
    line(QStringLiteral("Mfg name:\t") + QString::fromLatin1(caps->mfg_name));
    line(QStringLiteral("Backend version:\t") + QString::fromLatin1(caps->version));
    line(QStringLiteral("Backend status:\t") + QString::fromLatin1(h.rig_strstatus(caps->status)));
    line(QStringLiteral("Port:\t") + m_config.path);
    line(QStringLiteral("PTT:\t") + (m_config.pttByCat ? QStringLiteral("CAT") : QStringLiteral("Brelko")));
    char modes[1024] = {};
    h.rig_strrmodes(m_caps->state.mode_list, modes, sizeof modes);
    line(QStringLiteral("Mode list:\t") + QString::fromLatin1(modes));
    line(QStringLiteral("Can set Frequency:\t") + yn(caps->set_freq));
    line(QStringLiteral("Can get Frequency:\t") + yn(caps->get_freq));
    line(QStringLiteral("Can set Mode:\t") + yn(caps->set_mode));
    line(QStringLiteral("Can get Mode:\t") + yn(caps->get_mode));
    line(QStringLiteral("Can set VFO:\t") + yn(caps->set_vfo));
    line(QStringLiteral("Can get VFO:\t") + yn(caps->get_vfo));
    line(QStringLiteral("Can set PTT:\tY"));
    line(QStringLiteral("Can get PTT:\tY"));
    line(QStringLiteral("Can set Split VFO:\t") + yn(caps->set_split_vfo));
    line(QStringLiteral("Can get Split VFO:\t") + yn(caps->get_split_vfo));
    line(QStringLiteral("Can set Level:\t") + yn(caps->set_level));
    line(QStringLiteral("Can get Level:\t") + yn(caps->get_level));
    line(QStringLiteral("Can get Power Stat:\t") + yn(caps->get_powerstat));
    return out;
}

} // namespace morvex
