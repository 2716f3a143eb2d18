#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdlib>

// Set-up and checks shared by the fuzz targets.
class FuzzEnv
{
public:
    // A broken property is a finding: abort, so libFuzzer keeps the input.
    static void check(bool ok)
    {
        if (!ok)
            std::abort();
    }

    // Settings and data files go to a folder of the target's own, never to
    // the user's. The folder lives as long as the process.
    static const QTemporaryDir &privateHome()
    {
        static QTemporaryDir *home = [] {
            auto *dir = new QTemporaryDir;
            qputenv("XDG_DATA_HOME", dir->path().toLocal8Bit());
            qputenv("XDG_CONFIG_HOME", dir->path().toLocal8Bit());
            return dir;
        }();
        return *home;
    }

    // Every bad input is logged; at fuzzing rates the log would be all the
    // target does.
    static void silenceLog() { qInstallMessageHandler(quiet); }

private:
    static void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }
};
