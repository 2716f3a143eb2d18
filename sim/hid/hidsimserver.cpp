#include "sim/hid/hidsimserver.h"

#include <QCryptographicHash>

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {
QByteArray hexText(const QString &s)
{
    return s.toUtf8().toHex();
}

bool parseId(const QString &text, quint16 *out)
{
    bool ok = false;
    const uint v = text.toUInt(&ok, 0);
    if (!ok || v > 0xFFFF)
        return false;
    *out = quint16(v);
    return true;
}
} // namespace

HidSimServer::HidSimServer(QObject *parent)
    : QObject(parent)
{
    auto brelko = std::make_shared<Device>();
    brelko->name = QStringLiteral("brelko");
    brelko->vid = kVendorId;
    brelko->pid = kProductId;
    brelko->release = kRelease;
    brelko->plugged = true;
    m_devices.append(brelko);
}

HidSimServer::~HidSimServer()
{
    if (m_server)
        m_server->close();
}

bool HidSimServer::listen(const QString &path)
{
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    connect(m_server, &QLocalServer::newConnection, this, &HidSimServer::onNewConnection);
    if (!m_server->listen(path)) {
        qWarning(
            "HID simulator: cannot listen on %s: %s", qPrintable(path), qPrintable(m_server->errorString()));
        return false;
    }
    m_path = path;
    return true;
}

HidDeviceModel *HidSimServer::model(const QString &device)
{
    Device *d = find(device);
    return d ? &d->model : nullptr;
}

void HidSimServer::onNewConnection()
{
    while (QLocalSocket *sock = m_server->nextPendingConnection()) {
        connect(sock, &QLocalSocket::disconnected, sock, &QObject::deleteLater);
        connect(sock, &QLocalSocket::readyRead, this, [this, sock] { serve(sock); });
        serve(sock);
    }
}

void HidSimServer::serve(QLocalSocket *sock)
{
    while (sock->canReadLine()) {
        const QByteArray line = sock->readLine().trimmed();
        sock->write(request(line) + '\n');
        sock->flush();
    }
    // A client that sends an endless line is not served.
    if (sock->bytesAvailable() > 64 * 1024)
        sock->abort();
}

HidSimServer::Device *HidSimServer::find(const QString &name)
{
    for (const auto &d : qAsConst(m_devices)) {
        if (d->name == name)
            return d.get();
    }
    return nullptr;
}

HidSimServer::Device *HidSimServer::byPath(const QString &path)
{
    for (const auto &d : qAsConst(m_devices)) {
        if (pathOf(*d) == path)
            return d.get();
    }
    return nullptr;
}

HidSimServer::Handle *HidSimServer::liveHandle(long id, QByteArray *error)
{
    auto it = m_handles.find(id);
    if (it == m_handles.end()) {
        *error = "err no such handle";
        return nullptr;
    }
    Device *d = find(it->device);
    if (!d || !d->plugged || d->generation != it->generation) {
        *error = "err device disconnected";
        return nullptr;
    }
    return &*it;
}

void HidSimServer::plug(Device *d, bool on)
{
    if (d->plugged == on)
        return;
    d->plugged = on;
    ++d->generation;
    ++d->rejoinToken; // a pending rejoin no longer applies
    d->model.powerCycle();
    d->model.appendLog(on ? QStringLiteral("plugged") : QStringLiteral("unplugged"));
}

void HidSimServer::leaveAndRejoin(Device *d)
{
    plug(d, false);
    const int token = d->rejoinToken;
    const QString name = d->name;
    QTimer::singleShot(m_rejoinMs, this, [this, name, token] {
        Device *dev = find(name);
        if (dev && dev->rejoinToken == token)
            plug(dev, true);
    });
}

QByteArray HidSimServer::request(const QByteArray &line)
{
    const QList<QByteArray> w = line.split(' ');
    const QByteArray &verb = w.value(0);

    if (verb == "enum") {
        QByteArray out = "ok";
        for (const auto &d : qAsConst(m_devices)) {
            if (!d->plugged)
                continue;
            out += ' ' + QByteArray::number(d->vid, 16) + ':' + QByteArray::number(d->pid, 16) + ':'
                + QByteArray::number(d->release, 16) + ':' + hexText(pathOf(*d)) + ':'
                + hexText(QStringLiteral("Zentrik")) + ':' + hexText(QStringLiteral("Brelko sim ") + d->name)
                + ':' + hexText(QStringLiteral("SIM-") + d->name.toUpper());
        }
        return out;
    }
    if (verb == "open") {
        Device *d = byPath(QString::fromUtf8(w.value(1)));
        if (!d || !d->plugged)
            return "err no such device";
        if (d->denied)
            return "err denied";
        const long id = m_nextHandle++;
        m_handles.insert(id, Handle { d->name, d->generation, {} });
        return "ok " + QByteArray::number(qlonglong(id));
    }
    if (verb == "close") {
        m_handles.remove(w.value(1).toLong());
        return "ok";
    }
    if (verb == "write") {
        QByteArray error;
        Handle *h = liveHandle(w.value(1).toLong(), &error);
        if (!h)
            return error;
        Device *d = find(h->device);
        const QByteArray report = QByteArray::fromHex(w.value(2));
        m_largestReport = qMax(m_largestReport, report.size());
        if (report.isEmpty())
            return "err empty report";
        if (report.size() > 1 + HidDeviceModel::kPayloadSize) {
            d->model.appendLog(QStringLiteral("oversize %1").arg(report.size()));
            return "err report too long";
        }
        if (report[0] != 0) {
            d->model.appendLog(QStringLiteral("report number %1").arg(quint8(report[0])));
            return "err the device has no numbered reports";
        }
        HidDeviceModel::Effect effect = HidDeviceModel::Effect::None;
        const QByteArray answer = d->model.process(report.mid(1), &effect);
        if (!answer.isEmpty())
            h->pending.enqueue(answer);
        if (d->unplugAfter > 0 && --d->unplugAfter == 0)
            plug(d, false);
        else if (effect != HidDeviceModel::Effect::None)
            leaveAndRejoin(d);
        return "ok " + QByteArray::number(report.size());
    }
    if (verb == "read") {
        QByteArray error;
        Handle *h = liveHandle(w.value(1).toLong(), &error);
        if (!h)
            return error;
        if (h->pending.isEmpty())
            return "none";
        return "ok " + h->pending.dequeue().toHex();
    }
    if (verb == "ctl") {
        bool ok = false;
        const QString answer = control(QString::fromUtf8(line.mid(4)), &ok);
        return (ok ? "ok " : "err ") + answer.toUtf8().toPercentEncoding();
    }
    return "err unknown request";
}

QString HidSimServer::control(const QString &text, bool *okOut)
{
    bool dummy = false;
    bool &ok = okOut ? *okOut : dummy;
    ok = true;
    QStringList w = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString devName = QStringLiteral("brelko");
    if (!w.isEmpty() && w.first().startsWith(QLatin1Char('@')))
        devName = w.takeFirst().mid(1);
    const QString cmd = w.value(0);
    auto fail = [&](const QString &why) {
        ok = false;
        return why;
    };

    if (cmd == QLatin1String("add")) {
        quint16 vid = 0, pid = 0, rel = 0;
        if (w.size() != 5 || !parseId(w[2], &vid) || !parseId(w[3], &pid) || !parseId(w[4], &rel))
            return fail(QStringLiteral("usage: add <name> <vid> <pid> <release>"));
        if (find(w[1]))
            return fail(QStringLiteral("device exists"));
        auto d = std::make_shared<Device>();
        d->name = w[1];
        d->vid = vid;
        d->pid = pid;
        d->release = rel;
        m_devices.append(d);
        return QStringLiteral("added");
    }
    if (cmd == QLatin1String("devices")) {
        QStringList out;
        for (const auto &d : qAsConst(m_devices))
            out << QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(d->name)
                       .arg(d->vid, 4, 16, QLatin1Char('0'))
                       .arg(d->pid, 4, 16, QLatin1Char('0'))
                       .arg(d->release, 4, 16, QLatin1Char('0'))
                       .arg(d->plugged ? QStringLiteral("plugged") : QStringLiteral("unplugged"));
        return out.join(QLatin1Char('\n'));
    }
    if (cmd == QLatin1String("rejoin")) {
        bool good = false;
        const int ms = w.value(1).toInt(&good);
        if (!good || ms < 0)
            return fail(QStringLiteral("usage: rejoin <ms>"));
        m_rejoinMs = ms;
        return QStringLiteral("rejoin %1").arg(ms);
    }
    if (cmd == QLatin1String("largest")) {
        return QString::number(m_largestReport);
    }

    Device *d = find(devName);
    if (!d)
        return fail(QStringLiteral("no device ") + devName);
    HidDeviceModel &m = d->model;

    if (cmd == QLatin1String("plug") || cmd == QLatin1String("unplug")) {
        plug(d, cmd == QLatin1String("plug"));
        return cmd + QStringLiteral("ged");
    }
    if (cmd == QLatin1String("deny")) {
        d->denied = w.value(1) == QLatin1String("on");
        return QStringLiteral("deny ") + (d->denied ? QStringLiteral("on") : QStringLiteral("off"));
    }
    if (cmd == QLatin1String("factory")) {
        m.factory();
        return QStringLiteral("factory settings");
    }
    if (cmd == QLatin1String("state"))
        return d->plugged ? QStringLiteral("plugged") : QStringLiteral("unplugged");
    if (cmd == QLatin1String("log"))
        return m.log().join(QLatin1Char('\n'));
    if (cmd == QLatin1String("uploadtime"))
        return m.uploadTiming();
    if (cmd == QLatin1String("clearlog")) {
        m.clearLog();
        return QStringLiteral("cleared");
    }
    if (cmd == QLatin1String("silent")) {
        m.setSilent(w.value(1) == QLatin1String("on"));
        return QStringLiteral("silent ") + w.value(1);
    }
    if (cmd == QLatin1String("corrupt")) {
        const QString mode = w.value(1);
        if (mode == QLatin1String("off"))
            m.setCorruption(HidDeviceModel::Corruption::None);
        else if (mode == QLatin1String("echo"))
            m.setCorruption(HidDeviceModel::Corruption::WrongEcho);
        else if (mode == QLatin1String("nonul"))
            m.setCorruption(HidDeviceModel::Corruption::NoNul);
        else if (mode == QLatin1String("ff"))
            m.setCorruption(HidDeviceModel::Corruption::AllFF);
        else
            return fail(QStringLiteral("usage: corrupt off|echo|nonul|ff"));
        return QStringLiteral("corrupt ") + mode;
    }
    if (cmd == QLatin1String("unplug-after")) {
        bool good = false;
        const int n = w.value(1).toInt(&good);
        if (!good || n < 0)
            return fail(QStringLiteral("usage: unplug-after <requests>"));
        d->unplugAfter = n;
        return QStringLiteral("unplug after %1").arg(n);
    }
    if (cmd == QLatin1String("value")) {
        bool good = false;
        const int param = w.value(1).toInt(&good);
        if (!good)
            return fail(QStringLiteral("usage: value <param> [text]"));
        if (w.size() > 2) {
            QString value = w.mid(2).join(QLatin1Char(' '));
            if (value == QLatin1String("\"\""))
                value.clear();
            if (!m.setValueText(param, value))
                return fail(QStringLiteral("bad value"));
        }
        return m.valueText(param);
    }
    if (cmd == QLatin1String("stored")) {
        // Compares nothing itself: shows the values a power cycle brings back.
        HidDeviceModel copy = m;
        copy.powerCycle();
        bool good = false;
        const int param = w.value(1).toInt(&good);
        return good ? copy.valueText(param) : fail(QStringLiteral("usage: stored <param>"));
    }
    if (cmd == QLatin1String("feature") || cmd == QLatin1String("imageword")) {
        bool good = false;
        const uint v = w.value(1).toUInt(&good, 0);
        if (!good)
            return fail(QStringLiteral("usage: ") + cmd + QStringLiteral(" <number>"));
        (cmd == QLatin1String("feature") ? m.firmware().feature : m.firmware().image) = v;
        return QString::number(v);
    }
    if (cmd == QLatin1String("slot")) {
        // slot <n> [<flags> <work> <pause> [password]]
        bool a = false;
        const int n = w.value(1).toInt(&a);
        if (!a || n < 0 || n > 6)
            return fail(QStringLiteral("usage: slot <0-6> [flags work pause [password]]"));
        HidDeviceModel::Slot &s = m.config().permSlots[size_t(n)];
        if (w.size() >= 5) {
            s.flags = quint8(w[2].toUInt(nullptr, 0));
            s.workTime = w[3].toUInt();
            s.pauseTime = w[4].toUInt();
            s.password = w.value(5).toLatin1().left(60);
        }
        return QStringLiteral("%1 %2 %3 %4")
            .arg(s.flags)
            .arg(s.workTime)
            .arg(s.pauseTime)
            .arg(QString::fromLatin1(s.password));
    }
    if (cmd == QLatin1String("lasterror")) {
        // lasterror <type> [reason text | r0 r1 ... AFSR]
        bool good = false;
        const int type = w.value(1).toInt(&good, 0);
        if (!good || type < 0 || type > 255)
            return fail(QStringLiteral("usage: lasterror <type> [reason | registers]"));
        QList<quint32> regs;
        for (int i = 2; type >= 1 && type <= 6 && i < w.size(); ++i)
            regs << w[i].toUInt(nullptr, 0);
        m.lastError = HidDeviceModel::lastErrorRecord(type, w.mid(2).join(QLatin1Char(' ')), regs);
        return m.valueText(28);
    }
    if (cmd == QLatin1String("fwsha1")) {
        // The image being received when complete, else the last one installed.
        const QByteArray file = m.imageComplete() ? m.imageFile() : m.installedFile();
        return file.isEmpty()
            ? QStringLiteral("none")
            : QString::fromLatin1(QCryptographicHash::hash(file, QCryptographicHash::Sha1).toHex());
    }
    if (cmd == QLatin1String("fwinfo")) {
        return QStringLiteral("length %1 complete %2 crc %3 feature %4 image 0x%5")
            .arg(m.imageDeclaredLength())
            .arg(m.imageComplete() ? 1 : 0)
            .arg(m.imageCrcOk() ? QStringLiteral("ok") : QStringLiteral("bad"))
            .arg(m.firmware().feature)
            .arg(m.firmware().image, 8, 16, QLatin1Char('0'));
    }
    return fail(QStringLiteral("unknown command: ") + cmd);
}
