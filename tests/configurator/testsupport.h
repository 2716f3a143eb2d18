#pragma once

// Helpers shared by the configurator tests: the simulated device on its own
// thread, a watcher that records and closes message boxes, and a capture of
// log lines.

#include "hidsimthread.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <cstdlib>

namespace TestSupport {

inline QString testHome()
{
    const QString home = qEnvironmentVariable("BRELKO_TEST_HOME", QDir::tempPath());
    QDir().mkpath(home);
    return home;
}

// Points the preloaded hidapi at a fresh socket in the test's home.
inline QString hidSocketPath()
{
    const QString path = testHome() + QStringLiteral("/hid.sock");
    qputenv("BRELKO_HID_SOCKET", path.toLocal8Bit());
    return path;
}

inline bool preloaded()
{
    return qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("hidapi-brelkosim"));
}

struct SeenBox
{
    QString title;
    QString text;
    qint64 atMs; // since the watcher was (re)armed
};

// Message boxes must not block the tests: every visible box is recorded and
// closed from a timer, which also runs inside the box's own event loop.
class BoxWatcher final : public QObject
{
public:
    explicit BoxWatcher(QObject *parent = nullptr)
        : QObject(parent)
    {
        m_clock.start();
        connect(&m_timer, &QTimer::timeout, this, [this] { sweep(); });
        m_timer.start(10);
    }

    void rearm()
    {
        boxes.clear();
        m_clock.restart();
    }

    QStringList texts() const
    {
        QStringList out;
        for (const SeenBox &b : boxes)
            out << b.text;
        return out;
    }

    QVector<SeenBox> boxes;

private:
    void sweep()
    {
        const QWidgetList all = QApplication::topLevelWidgets();
        for (QWidget *w : all) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible() || m_closing.contains(box))
                continue;
            boxes.append({box->windowTitle(), box->text(), m_clock.elapsed()});
            m_closing.append(box);
            QPointer<QMessageBox> guard(box);
            QTimer::singleShot(0, box, [guard] {
                if (guard)
                    guard->done(QMessageBox::Ok);
            });
        }
        m_closing.removeAll(nullptr);
        for (int i = m_closing.size() - 1; i >= 0; --i) {
            if (m_closing[i] && !m_closing[i]->isVisible())
                m_closing.removeAt(i);
        }
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    QList<QPointer<QMessageBox>> m_closing;
};

// Collects every log line of the process while it lives.
class LogCapture final
{
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::handler);
        s_previous = m_previous;
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    QStringList lines() const { return s_lines; }
    bool contains(const QString &part) const
    {
        for (const QString &l : s_lines) {
            if (l.contains(part))
                return true;
        }
        return false;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
    {
        s_lines.append(msg);
        if (s_previous)
            s_previous(type, ctx, msg);
    }
    QtMessageHandler m_previous = nullptr;
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

// The simulator's request log as a list, with plug events left out.
inline QStringList requests(HidSimThread &sim, const QString &device = QString())
{
    const QString prefix = device.isEmpty() ? QString() : QLatin1Char('@') + device + QLatin1Char(' ');
    const QString text = sim.control(prefix + QStringLiteral("log"));
    QStringList out;
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &l : lines) {
        if (l != QLatin1String("plugged") && l != QLatin1String("unplugged"))
            out << l;
    }
    return out;
}

} // namespace TestSupport
