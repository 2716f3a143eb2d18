#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

// System-wide hot key: an X11 key grab on the root window, seen through a
// native event filter. Modifier and key codes are those of the Windows call
// it stands in for: Alt 1, Control 2, Shift 4; key 0x20 is the space bar,
// other keys are their character code.
class GlobalHotKey final : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GlobalHotKey)

public:
    enum Modifier { ModAlt = 1, ModControl = 2, ModShift = 4 };

    explicit GlobalHotKey(QObject *parent = nullptr);
    ~GlobalHotKey() override;

    // Returns 0 on success, else an error number (X11 error code, or -1
    // without an X11 display, -2 for a key with no key code).
    int registerHotKey(int id, unsigned modifiers, unsigned virtualKey);
    void unregisterHotKey(int id);
    bool isRegistered(int id) const;

    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;

signals:
    void activated(int id);

private:
    struct Grab
    {
        int id;
        unsigned keycode;
        unsigned modifiers; // X11 mask
    };
    void ungrab(const Grab &g);

    QList<Grab> m_grabs;
};
