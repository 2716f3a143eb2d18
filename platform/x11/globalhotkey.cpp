#include "platform/x11/globalhotkey.h"

#include <QCoreApplication>
#include <QX11Info>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

namespace {
// Lock keys must not stop the hot key: grab every combination of them.
const unsigned kLockMasks[] = { 0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2 };

unsigned x11Modifiers(unsigned mods)
{
    unsigned m = 0;
    if (mods & GlobalHotKey::ModAlt)
        m |= XCB_MOD_MASK_1;
    if (mods & GlobalHotKey::ModControl)
        m |= XCB_MOD_MASK_CONTROL;
    if (mods & GlobalHotKey::ModShift)
        m |= XCB_MOD_MASK_SHIFT;
    return m;
}

KeySym keysymFor(unsigned vk)
{
    if (vk == 0x20)
        return XK_space;
    if (vk >= 'A' && vk <= 'Z')
        return XK_a + (vk - 'A');
    // Printable Latin-1 keysyms equal their character codes.
    return KeySym(vk);
}
} // namespace

GlobalHotKey::GlobalHotKey(QObject *parent)
    : QObject(parent)
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installNativeEventFilter(this);
}

GlobalHotKey::~GlobalHotKey()
{
    for (const Grab &g : qAsConst(m_grabs))
        ungrab(g);
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool GlobalHotKey::isRegistered(int id) const
{
    for (const Grab &g : m_grabs) {
        if (g.id == id)
            return true;
    }
    return false;
}

int GlobalHotKey::registerHotKey(int id, unsigned modifiers, unsigned virtualKey)
{
    if (!QX11Info::isPlatformX11() || !QX11Info::display())
        return -1;
    Display *dpy = QX11Info::display();
    xcb_connection_t *conn = QX11Info::connection();
    const KeyCode code = XKeysymToKeycode(dpy, keysymFor(virtualKey));
    if (code == 0)
        return -2;
    const Grab g { id, code, x11Modifiers(modifiers) };
    int error = 0;
    for (unsigned lock : kLockMasks) {
        xcb_void_cookie_t c = xcb_grab_key_checked(conn, 1, QX11Info::appRootWindow(),
            uint16_t(g.modifiers | lock), xcb_keycode_t(code), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t *e = xcb_request_check(conn, c)) {
            error = e->error_code;
            free(e);
            break;
        }
    }
    if (error) {
        ungrab(g);
        return error;
    }
    m_grabs.append(g);
    return 0;
}

void GlobalHotKey::ungrab(const Grab &g)
{
    if (!QX11Info::isPlatformX11() || !QX11Info::connection())
        return;
    for (unsigned lock : kLockMasks)
        xcb_ungrab_key(QX11Info::connection(), xcb_keycode_t(g.keycode), QX11Info::appRootWindow(),
            uint16_t(g.modifiers | lock));
    xcb_flush(QX11Info::connection());
}

void GlobalHotKey::unregisterHotKey(int id)
{
    for (int i = m_grabs.size() - 1; i >= 0; --i) {
        if (m_grabs.at(i).id == id) {
            ungrab(m_grabs.at(i));
            m_grabs.removeAt(i);
        }
    }
}

bool GlobalHotKey::nativeEventFilter(const QByteArray &eventType, void *message, long *result)
{
    Q_UNUSED(result)
    if (eventType != "xcb_generic_event_t" || m_grabs.isEmpty())
        return false;
    auto *ev = static_cast<xcb_generic_event_t *>(message);
    if ((ev->response_type & ~0x80) != XCB_KEY_PRESS)
        return false;
    auto *key = reinterpret_cast<xcb_key_press_event_t *>(ev);
    const unsigned state = key->state & ~(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
    for (const Grab &g : qAsConst(m_grabs)) {
        if (g.keycode == key->detail && g.modifiers == state) {
            emit activated(g.id);
            // Let Qt go on with it, as the window message does.
            return false;
        }
    }
    return false;
}
