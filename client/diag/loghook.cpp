#include "client/diag/loghook.h"

#include "client/diag/console.h"

#include <QList>

#include <cstdio>
#include <mutex>

namespace morvex {

namespace {
// Lines come from every thread; a standard mutex lets ThreadSanitizer see the
// locking. Recursive: a console may log while a line is handed out.
std::recursive_mutex &consolesLock()
{
    static std::recursive_mutex lock;
    return lock;
}

QList<Console *> &consoles()
{
    static QList<Console *> list;
    return list;
}

// Debug aid for headless runs: MORVEX_LOG_STDERR=1 echoes lines to stderr.
bool echoToStderr()
{
    static const bool on = qEnvironmentVariableIntValue("MORVEX_LOG_STDERR") != 0;
    return on;
}
} // namespace

namespace LogHook {

QString formatLine(QtMsgType type, const char *category, const QString &message)
{
    const char *kind = ": ";
    switch (type) {
    case QtDebugMsg:
        kind = ".debug: ";
        break;
    case QtWarningMsg:
        kind = ".warning: ";
        break;
    case QtCriticalMsg:
        kind = ".critical: ";
        break;
    case QtFatalMsg:
        kind = ".fatal: ";
        break;
    default:
        break;
    }
    return QString::fromLatin1(category ? category : "default") + QLatin1String(kind) + message;
}

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString line = formatLine(type, context.category, message);
    if (echoToStderr()) {
        fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
        fflush(stderr);
    }
    std::lock_guard<std::recursive_mutex> locker(consolesLock());
    for (Console *c : qAsConst(consoles()))
        emit c->sendMessage(line);
}

void install()
{
    qInstallMessageHandler(handler);
}

void registerConsole(Console *console)
{
    std::lock_guard<std::recursive_mutex> locker(consolesLock());
    if (!consoles().contains(console))
        consoles().append(console);
}

void unregisterConsole(Console *console)
{
    std::lock_guard<std::recursive_mutex> locker(consolesLock());
    consoles().removeAll(console);
}

} // namespace LogHook

} // namespace morvex
