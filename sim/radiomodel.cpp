#include "sim/radiomodel.h"

#include <QDebug>

namespace {
bool allDigits(const QByteArray &s)
{
    if (s.isEmpty())
        return false;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

QByteArray digits(quint64 v, int width)
{
    return QByteArray::number(v).rightJustified(width, '0');
}

const struct
{
    int mode;
    const char *name;
} kModeNames[] = {
    { RadioModel::Lsb, "LSB" },
    { RadioModel::Usb, "USB" },
    { RadioModel::Cw, "CW" },
    { RadioModel::Fm, "FM" },
    { RadioModel::Am, "AM" },
    { RadioModel::Fsk, "FSK" },
    { RadioModel::CwR, "CW-R" },
    { RadioModel::FskR, "FSK-R" },
};
} // namespace

RadioModel::RadioModel(QObject *parent)
    : SerialTunnelDevice(parent)
{
}

bool RadioModel::isValidMode(int mode)
{
    for (const auto &m : kModeNames) {
        if (m.mode == mode)
            return true;
    }
    return false;
}

QString RadioModel::modeName(int mode)
{
    for (const auto &m : kModeNames) {
        if (m.mode == mode)
            return QString::fromLatin1(m.name);
    }
    return QStringLiteral("?");
}

int RadioModel::modeFromText(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (ok)
        return isValidMode(n) ? n : 0;
    for (const auto &m : kModeNames) {
        if (text.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0)
            return m.mode;
    }
    return 0;
}

void RadioModel::reset()
{
    m_pending.clear();
    m_overflow = false;
    m_loggedThisClient = 0;
}

void RadioModel::restoreDefaults()
{
    m_freqA = 14250000;
    m_freqB = 7050000;
    m_mode = Usb;
    m_rxVfo = m_txVfo = 0;
    m_tx = false;
    m_power = true;
    m_autoInfo = 0;
    m_rit = m_xit = false;
    m_filterWidth = 0;
    m_keyerSpeed = 20;
}

void RadioModel::clearCommands()
{
    m_commands.clear();
    m_commandCount = 0;
    m_dropped = 0;
}

void RadioModel::input(const QByteArray &bytes)
{
    QByteArray answers;
    for (const char c : bytes) {
        if (c != ';') {
            // Line ends some programs add between commands mean nothing.
            if (m_pending.isEmpty() && (c == '\r' || c == '\n' || c == ' '))
                continue;
            if (m_pending.size() >= kMaxCommand) {
                ++m_dropped;
                m_overflow = true;
                continue;
            }
            m_pending.append(c);
            continue;
        }
        if (m_overflow) {
            // The end of an overlong command: the radio cannot make sense of it.
            m_overflow = false;
            m_pending.clear();
            answers += "?;";
            continue;
        }
        const QByteArray command = m_pending;
        m_pending.clear();
        if (command.isEmpty())
            continue;
        ++m_commandCount;
        if (m_commands.size() >= kCommandLog)
            m_commands.removeFirst();
        m_commands.append(QString::fromLatin1(command));
        if (m_loggedThisClient < kLoggedCommands) {
            ++m_loggedThisClient;
            qInfo().noquote() << "radio cmd" << QString::fromLatin1(command);
            if (m_loggedThisClient == kLoggedCommands)
                qInfo().noquote() << "radio: further commands are not logged";
        }
        answers += execute(command);
    }
    if (!answers.isEmpty())
        emit output(answers);
}

QByteArray RadioModel::frequencyCommand(char vfo) const
{
    return QByteArray("F") + vfo + digits(vfo == 'B' ? m_freqB : m_freqA, 11) + ';';
}

QByteArray RadioModel::ifAnswer() const
{
    QByteArray a("IF");
    a += digits(frequency(m_rxVfo), 11);
    a += "     "; // frequency step: not reported by this model
    a += "+0000"; // RIT/XIT offset
    a += m_rit ? '1' : '0';
    a += m_xit ? '1' : '0';
    a += "000"; // memory bank and channel
    a += m_tx ? '1' : '0';
    a += char('0' + m_mode);
    a += char('0' + m_rxVfo);
    a += '0'; // scan
    a += m_rxVfo != m_txVfo ? '1' : '0';
    a += "000"; // tone and tone number
    a += '0'; // shift
    a += ';';
    return a;
}

QByteArray RadioModel::execute(const QByteArray &command)
{
    static const QByteArray unknown("?;");
    if (command.size() < 2)
        return unknown;
    const QByteArray name = command.left(2);
    const QByteArray arg = command.mid(2);

    // Read with no argument, set with a single digit in [lo, hi].
    auto digitSetting = [&](int *field, int lo, int hi) -> QByteArray {
        if (arg.isEmpty())
            return name + char('0' + *field) + ';';
        if (arg.size() == 1 && arg[0] >= char('0' + lo) && arg[0] <= char('0' + hi)) {
            *field = arg[0] - '0';
            return QByteArray();
        }
        return unknown;
    };
    auto flagSetting = [&](bool *field) -> QByteArray {
        int v = *field ? 1 : 0;
        const QByteArray r = digitSetting(&v, 0, 1);
        *field = v != 0;
        return r;
    };

    if (name == "ID")
        return arg.isEmpty() ? QByteArray("ID019;") : unknown;
    if (name == "IF")
        return arg.isEmpty() ? ifAnswer() : unknown;
    if (name == "PS")
        return flagSetting(&m_power);
    if (name == "AI")
        return digitSetting(&m_autoInfo, 0, 3);
    if (name == "FA" || name == "FB") {
        quint64 &f = name == "FA" ? m_freqA : m_freqB;
        if (arg.isEmpty())
            return frequencyCommand(name[1]);
        if (arg.size() != 11 || !allDigits(arg))
            return unknown;
        f = arg.toULongLong();
        return QByteArray();
    }
    if (name == "MD") {
        if (arg.isEmpty())
            return name + char('0' + m_mode) + ';';
        if (arg.size() != 1 || !isValidMode(arg[0] - '0'))
            return unknown;
        m_mode = arg[0] - '0';
        return QByteArray();
    }
    if (name == "FR") {
        // Choosing the receive VFO ends split operation.
        const QByteArray r = digitSetting(&m_rxVfo, 0, 2);
        if (!arg.isEmpty() && r.isEmpty())
            m_txVfo = m_rxVfo;
        return r;
    }
    if (name == "FT")
        return digitSetting(&m_txVfo, 0, 2);
    if (name == "TX") {
        if (arg.size() > 1 || (arg.size() == 1 && (arg[0] < '0' || arg[0] > '2')))
            return unknown;
        m_tx = true;
        return QByteArray();
    }
    if (name == "RX") {
        if (!arg.isEmpty())
            return unknown;
        m_tx = false;
        return QByteArray();
    }
    if (name == "RT")
        return flagSetting(&m_rit);
    if (name == "XT")
        return flagSetting(&m_xit);
    if (name == "RC")
        return arg.isEmpty() ? QByteArray() : unknown;
    if (name == "SA")
        return arg.isEmpty() ? QByteArray("SA0000000;") : QByteArray();
    if (name == "SM") {
        // Main (0) or sub (1) receiver: a steady S9.
        if (arg.size() == 1 && (arg[0] == '0' || arg[0] == '1'))
            return "SM" + arg + "0015;";
        return unknown;
    }
    if (name == "FW") {
        if (arg.isEmpty())
            return "FW" + digits(quint64(m_filterWidth), 4) + ';';
        if (arg.size() != 4 || !allDigits(arg))
            return unknown;
        m_filterWidth = arg.toInt();
        return QByteArray();
    }
    if (name == "KS") {
        if (arg.isEmpty())
            return "KS" + digits(quint64(m_keyerSpeed), 3) + ';';
        if (arg.size() != 3 || !allDigits(arg) || arg.toInt() < 10 || arg.toInt() > 60)
            return unknown;
        m_keyerSpeed = arg.toInt();
        return QByteArray();
    }
    return unknown;
}

bool RadioModel::setFrequency(int vfo, quint64 hz)
{
    if (hz > kMaxFrequency || vfo < 0 || vfo > 1)
        return false;
    (vfo == 1 ? m_freqB : m_freqA) = hz;
    changedByOperator();
    return true;
}

bool RadioModel::setMode(int mode)
{
    if (!isValidMode(mode))
        return false;
    m_mode = mode;
    changedByOperator();
    return true;
}

void RadioModel::changedByOperator()
{
    // With auto-information on, the radio reports knob changes by itself.
    if (m_autoInfo > 0)
        emit output(ifAnswer());
}

void RadioModel::addCommands(ControlServer *control)
{
    using Reply = ControlServer::Reply;
    control->addCommand(QStringLiteral("radio"),
        QStringLiteral("radio [freq HZ | freqb HZ | mode N|NAME | reset | commands [clear]]"),
        [this](const QStringList &args) {
            if (args.isEmpty()) {
                return Reply::done({ QStringLiteral("radio freq=%1 freqb=%2 mode=%3 modename=%4 rxvfo=%5 "
                                                    "txvfo=%6 tx=%7 power=%8 ai=%9 commands=%10 dropped=%11")
                                         .arg(m_freqA)
                                         .arg(m_freqB)
                                         .arg(m_mode)
                                         .arg(modeName(m_mode))
                                         .arg(m_rxVfo)
                                         .arg(m_txVfo)
                                         .arg(m_tx ? 1 : 0)
                                         .arg(m_power ? 1 : 0)
                                         .arg(m_autoInfo)
                                         .arg(m_commandCount)
                                         .arg(m_dropped) });
            }
            const QString what = args.first().toLower();
            if ((what == QLatin1String("freq") || what == QLatin1String("freqb")) && args.size() == 2) {
                bool ok = false;
                const quint64 hz = args.at(1).toULongLong(&ok);
                if (!ok || !setFrequency(what == QLatin1String("freqb") ? 1 : 0, hz))
                    return Reply::fail(QStringLiteral("frequency must be 0 to %1 Hz").arg(kMaxFrequency));
                return Reply::done();
            }
            if (what == QLatin1String("mode") && args.size() == 2) {
                if (!setMode(modeFromText(args.at(1))))
                    return Reply::fail(QStringLiteral("unknown mode %1").arg(args.at(1)));
                return Reply::done();
            }
            if (what == QLatin1String("reset") && args.size() == 1) {
                restoreDefaults();
                return Reply::done();
            }
            if (what == QLatin1String("commands") && args.size() == 1) {
                QStringList lines;
                for (const QString &c : qAsConst(m_commands))
                    lines << QStringLiteral("cmd ") + c;
                return Reply::done(lines);
            }
            if (what == QLatin1String("commands") && args.size() == 2
                && args.at(1) == QLatin1String("clear")) {
                clearCommands();
                return Reply::done();
            }
            return Reply::fail(
                QStringLiteral("usage: radio [freq HZ | freqb HZ | mode N|NAME | reset | commands [clear]]"));
        });
}
