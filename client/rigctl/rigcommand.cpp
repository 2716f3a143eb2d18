#include "client/rigctl/rigcommand.h"

#include <QRegularExpression>

#include <cmath>

namespace morvex {

namespace {

enum class Arg { Freq, Mode, Passband, Token, Ptt, Bool, Number, Int };

struct Entry
{
    char shortName; // 0: long form only
    const char *longName;
    RigCommand::Op op;
    std::initializer_list<Arg> args;
};

const Entry kTable[] = {
    { 'f', "get_freq", RigCommand::GetFreq, {} },
    { 'F', "set_freq", RigCommand::SetFreq, { Arg::Freq } },
    { 'm', "get_mode", RigCommand::GetMode, {} },
    { 'M', "set_mode", RigCommand::SetMode, { Arg::Mode, Arg::Passband } },
    { 'v', "get_vfo", RigCommand::GetVfo, {} },
    { 'V', "set_vfo", RigCommand::SetVfo, { Arg::Token } },
    { 't', "get_ptt", RigCommand::GetPtt, {} },
    { 'T', "set_ptt", RigCommand::SetPtt, { Arg::Ptt } },
    { 's', "get_split_vfo", RigCommand::GetSplitVfo, {} },
    { 'S', "set_split_vfo", RigCommand::SetSplitVfo, { Arg::Bool, Arg::Token } },
    { 'i', "get_split_freq", RigCommand::GetSplitFreq, {} },
    { 'I', "set_split_freq", RigCommand::SetSplitFreq, { Arg::Freq } },
    { 'x', "get_split_mode", RigCommand::GetSplitMode, {} },
    { 'X', "set_split_mode", RigCommand::SetSplitMode, { Arg::Mode, Arg::Passband } },
    { 'l', "get_level", RigCommand::GetLevel, { Arg::Token } },
    { 'L', "set_level", RigCommand::SetLevel, { Arg::Token, Arg::Number } },
    { 'q', "quit", RigCommand::Quit, {} },
    { 'Q', "quit", RigCommand::Quit, {} },
    { '1', "dump_caps", RigCommand::DumpCaps, {} },
    { 0, "dump_state", RigCommand::DumpState, {} },
    { 0, "chk_vfo", RigCommand::ChkVfo, {} },
    { 0, "get_powerstat", RigCommand::GetPowerstat, {} },
    { 0, "set_powerstat", RigCommand::SetPowerstat, { Arg::Int } },
    { 0, "get_lock_mode", RigCommand::GetLockMode, {} },
};

bool isToken(const QString &s)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_]{1,32}$"));
    return re.match(s).hasMatch();
}

bool validArg(Arg kind, const QString &s)
{
    bool ok = false;
    switch (kind) {
    case Arg::Freq: {
        const double f = s.toDouble(&ok);
        // Up to 1 THz: nothing a radio tunes is beyond, and it fits Hamlib's types.
        return ok && std::isfinite(f) && f >= 0 && f < 1e12;
    }
    case Arg::Mode:
    case Arg::Token:
        return isToken(s);
    case Arg::Passband: {
        const long long v = s.toLongLong(&ok);
        return ok && v >= -1 && v <= 10000000;
    }
    case Arg::Ptt: {
        const int v = s.toInt(&ok);
        return ok && v >= 0 && v <= 3;
    }
    case Arg::Bool: {
        const int v = s.toInt(&ok);
        return ok && (v == 0 || v == 1);
    }
    case Arg::Number: {
        const double v = s.toDouble(&ok);
        return ok && std::isfinite(v) && std::fabs(v) < 1e9;
    }
    case Arg::Int: {
        const int v = s.toInt(&ok);
        return ok && v >= 0 && v <= 4;
    }
    }
    return false;
}

const Entry *find(const QString &word, bool longForm)
{
    for (const Entry &e : kTable) {
        if (longForm ? word == QLatin1String(e.longName)
                     : (e.shortName != 0 && word.size() == 1 && word.at(0) == QLatin1Char(e.shortName)))
            return &e;
    }
    return nullptr;
}

} // namespace

bool RigCommand::needsRadio() const
{
    switch (op) {
    case GetFreq:
    case SetFreq:
    case GetMode:
    case SetMode:
    case GetVfo:
    case SetVfo:
    case GetSplitVfo:
    case SetSplitVfo:
    case GetSplitFreq:
    case SetSplitFreq:
    case GetSplitMode:
    case SetSplitMode:
    case GetLevel:
    case SetLevel:
    case SetPowerstat:
        return true;
    default:
        return false;
    }
}

namespace RigProtocol {

RigCommand parse(const QByteArray &raw)
{
    RigCommand cmd;
    QByteArray line = raw;
    if (line.endsWith('\r'))
        line.chop(1);
    // Only printable ASCII is the protocol; anything else is a bad command.
    for (char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t') {
            cmd.op = RigCommand::Invalid;
            cmd.error = EInval;
            return cmd;
        }
        if (u >= 0x7f) {
            cmd.op = RigCommand::Invalid;
            cmd.error = EInval;
            return cmd;
        }
    }
    QString text = QString::fromLatin1(line).trimmed();
    if (text.isEmpty())
        return cmd;

    const QChar first = text.at(0);
    if (first == QLatin1Char('+'))
        cmd.separator = '\n';
    else if (first == QLatin1Char(';') || first == QLatin1Char('|') || first == QLatin1Char(','))
        cmd.separator = first.toLatin1();
    if (cmd.separator)
        text = text.mid(1).trimmed();

    static const QRegularExpression space(QStringLiteral("[ \\t]+"));
    QStringList words = text.split(space, Qt::SkipEmptyParts);
    cmd.op = RigCommand::Invalid;
    cmd.error = EInval;
    if (words.isEmpty())
        return cmd;

    QString word = words.takeFirst();
    const bool longForm = word.startsWith(QLatin1Char('\\'));
    if (longForm)
        word.remove(0, 1);
    const Entry *e = find(word, longForm);
    if (!e)
        return cmd;
    cmd.name = QLatin1String(e->longName);
    if (words.size() != int(e->args.size()))
        return cmd;
    int i = 0;
    for (Arg kind : e->args) {
        if (!validArg(kind, words.at(i++)))
            return cmd;
    }
    cmd.op = e->op;
    cmd.args = words;
    cmd.error = Ok;
    return cmd;
}

QByteArray answer(const RigCommand &cmd, const RigResult &result)
{
    QByteArray out;
    const QByteArray status = "RPRT " + QByteArray::number(result.status);
    if (cmd.op == RigCommand::Empty)
        return out;
    if (cmd.op == RigCommand::Invalid)
        return "RPRT " + QByteArray::number(cmd.error) + '\n';

    if (!cmd.extended()) {
        if (result.status != Ok)
            return status + '\n';
        if (!result.raw.isEmpty()) {
            out = result.raw;
            if (result.rawWithStatus)
                out += status + '\n';
            return out;
        }
        if (result.values.isEmpty())
            return status + '\n';
        for (const auto &v : result.values)
            out += v.second.toLatin1() + '\n';
        return out;
    }

    // Extended: the command echoed with its arguments, labelled values, and
    // always the status, every part ended by the separator.
    const char sep = cmd.separator;
    out = cmd.name.toLatin1() + ':';
    if (!cmd.args.isEmpty())
        out += ' ' + cmd.args.join(QLatin1Char(' ')).toLatin1();
    out += sep;
    if (result.status == Ok) {
        if (!result.raw.isEmpty()) {
            out += result.raw;
            if (!out.endsWith(sep))
                out += sep;
        }
        for (const auto &v : result.values) {
            if (!v.first.isEmpty())
                out += v.first.toLatin1() + ": ";
            out += v.second.toLatin1() + sep;
        }
    }
    out += status + '\n';
    return out;
}

} // namespace RigProtocol

} // namespace morvex
