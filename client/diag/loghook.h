#pragma once

#include <QString>
#include <QtGlobal>

namespace morvex {

class Console;

// The program's message handler: formats each log line and hands it to every
// registered console. Lines are dropped when no console is registered.
namespace LogHook {
QString formatLine(QtMsgType type, const char *category, const QString &message);
void install();
void registerConsole(Console *console);
void unregisterConsole(Console *console);
// The handler itself (exposed for tests).
void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
} // namespace LogHook

} // namespace morvex
