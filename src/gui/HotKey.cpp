#include "gui/HotKey.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include "core/text/Gbk.h"

#ifdef TOVI_HAVE_XCB
#include <xcb/xcb.h>
#include <xcb/xinput.h>
#endif

namespace tovi::gui {

namespace {
Error unavailable() {
    return Error{gbk("提示：当前桌面不支持全局快捷键 Alt+Q，请用托盘图标显示或隐藏窗口。")};
}
}  // namespace

HotKey::HotKey(QWidget* window) : m_window(window) {}

#ifdef TOVI_HAVE_XCB

namespace {
constexpr xcb_keysym_t kQ = 0x71, kUpperQ = 0x51, kAltL = 0xffe9, kAltR = 0xffea, kMetaL = 0xffe7,
                       kMetaR = 0xffe8;
}  // namespace

Result<> HotKey::install() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return unavailable();
    xcb_connection_t* c = x11->connection();
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_input_id);
    if (!ext || !ext->present) return unavailable();
    // Raw events reach every listener whatever grabs are active from XInput 2.1 on.
    xcb_input_xi_query_version_reply_t* version =
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr);
    const bool recent = version && (version->major_version > 2 || version->minor_version >= 1);
    free(version);
    if (!recent) return unavailable();

    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    if (!screen) return unavailable();
    const uint8_t first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* map =
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, first, count), nullptr);
    if (!map) return unavailable();
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < map->keysyms_per_keycode; ++k) {
            xcb_keysym_t s = syms[i * map->keysyms_per_keycode + k];
            if (s == kQ || s == kUpperQ) m_qKeys.insert(first + i);
            if (s == kAltL || s == kAltR || s == kMetaL || s == kMetaR) m_altKeys.insert(first + i);
        }
    free(map);
    if (m_qKeys.empty() || m_altKeys.empty()) return unavailable();

    struct {
        xcb_input_event_mask_t head;
        uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
    xcb_generic_error_t* err =
        xcb_request_check(c, xcb_input_xi_select_events_checked(c, screen->root, 1, &mask.head));
    if (err) {
        free(err);
        return unavailable();
    }
    xcb_flush(c);
    m_xinputOpcode = ext->major_opcode;
    m_installed = true;
    qApp->installNativeEventFilter(this);
    qApp->installEventFilter(this);
    return {};
}

HotKey::~HotKey() {
    if (m_installed) qApp->removeNativeEventFilter(this);
}

bool HotKey::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return false;
    bool ours = false;
    for (QObject* o = watched; o && !ours; o = o->parent()) ours = o == m_window;
    if (!ours) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    return key->key() == Qt::Key_Q && (mods == Qt::AltModifier || mods == Qt::MetaModifier);
}

bool HotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* ev = static_cast<xcb_generic_event_t*>(message);
    if ((ev->response_type & ~0x80) != XCB_GE_GENERIC) return false;
    auto* ge = reinterpret_cast<xcb_ge_generic_event_t*>(ev);
    if (ge->extension != m_xinputOpcode) return false;
    if (ge->event_type != XCB_INPUT_RAW_KEY_PRESS && ge->event_type != XCB_INPUT_RAW_KEY_RELEASE)
        return false;
    auto* key = reinterpret_cast<xcb_input_raw_key_press_event_t*>(ev);
    const bool press = ge->event_type == XCB_INPUT_RAW_KEY_PRESS;
    if (m_altKeys.count(key->detail)) {
        if (press)
            m_altHeld.insert(key->detail);
        else
            m_altHeld.erase(key->detail);
    } else if (press && m_qKeys.count(key->detail) && !m_altHeld.empty() &&
               !(key->flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT)) {
        emit activated();
    }
    // These events only tell us what the keyboard did; the key itself went on to whichever
    // window has the focus.
    return true;
}

#else

Result<> HotKey::install() { return unavailable(); }
HotKey::~HotKey() = default;
bool HotKey::nativeEventFilter(const QByteArray&, void*, qintptr*) { return false; }
bool HotKey::eventFilter(QObject*, QEvent*) { return false; }

#endif

}  // namespace tovi::gui
