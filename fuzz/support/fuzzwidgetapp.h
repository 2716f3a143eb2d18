#pragma once

// For the targets that drive widgets. Include it in the target's one source
// file only: it defines the leak checker's suppressions.
#include "fuzz/support/fuzzenv.h"

#include <QApplication>

// Font and platform plugin caches of the widget code, kept until exit (as in
// scripts/lsan.supp).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libqoffscreen.so\n";
}

class FuzzWidgetApp
{
public:
    // Private home, quiet log and a widget application that is never
    // destroyed: tearing the platform plugin down at exit leaks inside it.
    static void start(int *argc, char ***argv)
    {
        FuzzEnv::privateHome();
        FuzzEnv::silenceLog();
        static QApplication *app = new QApplication(*argc, *argv);
        (void)app;
    }
};
