#pragma once

// Helpers shared by the configurator tests: the simulated device on its own
// thread, a watcher that records and closes message boxes, and a capture of
// log lines.

#include "sim/hid/hidsimthread.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <cstdlib>
#include <functional>

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
// Questions are answered with `answer` when the box has that button (else
// closed, which no question takes as Yes); file dialogs choose `chooseFile`
// or are cancelled when it is empty.
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
        fileDialogs.clear();
        answer = QMessageBox::NoButton;
        decide = nullptr;
        chooseFile.clear();
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
    QStringList fileDialogs; // their titles
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    // When set, decides per box text instead of `answer`.
    std::function<QMessageBox::StandardButton(const QString &)> decide;
    QString chooseFile;

private:
    void sweep()
    {
        const QWidgetList all = QApplication::topLevelWidgets();
        for (QWidget *w : all) {
            if (auto *dialog = qobject_cast<QFileDialog *>(w);
                dialog && dialog->isVisible() && !m_closingDialogs.contains(dialog)) {
                fileDialogs << dialog->windowTitle();
                m_closingDialogs.append(dialog);
                QPointer<QFileDialog> guard(dialog);
                const QString file = chooseFile;
                QTimer::singleShot(0, dialog, [guard, file] {
                    if (!guard)
                        return;
                    if (file.isEmpty()) {
                        guard->reject();
                    } else {
                        // Typed as a user would: folder, then the name.
                        guard->setDirectory(QFileInfo(file).absolutePath());
                        if (auto *edit = guard->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                            edit->setText(QFileInfo(file).fileName());
                        static_cast<QDialog *>(guard.data())->accept(); // validates as a click would
                    }
                });
                continue;
            }
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible() || m_closing.contains(box))
                continue;
            boxes.append({ box->windowTitle(), box->text(), m_clock.elapsed() });
            m_closing.append(box);
            QPointer<QMessageBox> guard(box);
            const QMessageBox::StandardButton reply = decide ? decide(box->text()) : answer;
            QTimer::singleShot(0, box, [guard, reply] {
                if (!guard)
                    return;
                if (QAbstractButton *b = reply != QMessageBox::NoButton ? guard->button(reply) : nullptr)
                    b->click();
                else
                    guard->done(QMessageBox::Ok);
            });
        }
        m_closingDialogs.removeAll(nullptr);
        for (int i = m_closingDialogs.size() - 1; i >= 0; --i) {
            if (m_closingDialogs[i] && !m_closingDialogs[i]->isVisible())
                m_closingDialogs.removeAt(i);
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
    QList<QPointer<QFileDialog>> m_closingDialogs;
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

// Every get of a device arriving, in order: Wi-Fi, Networking, Connection,
// DDNS, Files, Status (with its first refresh), then the permission slots.
inline QStringList loadOrder(bool permissions = true, bool ddnsOn = false)
{
    QStringList out;
    for (int p : { 8, 9, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 6, 7, 12, 13, 14, 15, 16, 6, 7,
             10, 11, 8, 12, 21 })
        out << QStringLiteral("get %1").arg(p);
    if (ddnsOn)
        out << QStringLiteral("get 27");
    for (int slot = 0; permissions && slot < 7; ++slot)
        out << QStringLiteral("get 29 %1").arg(slot) << QStringLiteral("get 30 %1").arg(slot);
    return out;
}

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
