#include "gui/HotKey.h"

#include <QGuiApplication>

#ifdef TOVI_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace tovi::gui {

namespace {
const QString kUnavailable =
    QStringLiteral("提示：当前桌面不支持全局快捷键 Alt+Q，请用托盘图标显示或隐藏窗口。");
}

HotKey::HotKey() = default;

#ifdef TOVI_HAVE_XCB

namespace {
// Alt is Mod1; the grab is repeated with Caps Lock and Num Lock so it works whatever their state.
constexpr uint16_t kAlt = XCB_MOD_MASK_1;
constexpr uint16_t kIgnored[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr uint32_t kKeysymQ = 0x71, kKeysymUpperQ = 0x51;
}  // namespace

QString HotKey::install() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return kUnavailable;
    auto* c = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    if (!screen) return kUnavailable;
    // Find the key code that carries Q in the current keyboard map.
    const uint8_t first = setup->min_keycode, count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* map =
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, first, count), nullptr);
    if (!map) return kUnavailable;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    const int perCode = map->keysyms_per_keycode;
    unsigned char keycode = 0;
    for (int i = 0; i < count && !keycode; ++i)
        for (int k = 0; k < perCode; ++k)
            if (syms[i * perCode + k] == kKeysymQ || syms[i * perCode + k] == kKeysymUpperQ) {
                keycode = static_cast<unsigned char>(first + i);
                break;
            }
    free(map);
    if (!keycode) return kUnavailable;
    bool grabbed = false;
    for (uint16_t extra : kIgnored) {
        xcb_void_cookie_t ck = xcb_grab_key_checked(c, 1, screen->root, kAlt | extra, keycode,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t* err = xcb_request_check(c, ck);
        if (err)
            free(err);
        else
            grabbed = true;
    }
    if (!grabbed) return QStringLiteral("提示：Alt+Q 已被其他程序占用，请用托盘图标显示或隐藏窗口。");
    m_connection = c;
    m_root = screen->root;
    m_keycode = keycode;
    qApp->installNativeEventFilter(this);
    return {};
}

HotKey::~HotKey() {
    if (!m_keycode) return;
    qApp->removeNativeEventFilter(this);
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    for (uint16_t extra : kIgnored) xcb_ungrab_key(c, m_keycode, m_root, kAlt | extra);
    xcb_flush(c);
}

bool HotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* ev = static_cast<xcb_generic_event_t*>(message);
    if ((ev->response_type & ~0x80) != XCB_KEY_PRESS) return false;
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(ev);
    if (key->detail != m_keycode || !(key->state & kAlt)) return false;
    emit activated();
    return true;
}

#else

QString HotKey::install() { return kUnavailable; }
HotKey::~HotKey() = default;
bool HotKey::nativeEventFilter(const QByteArray&, void*, qintptr*) { return false; }

#endif

}  // namespace tovi::gui
