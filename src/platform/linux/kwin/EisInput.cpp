#include "platform/linux/kwin/EisInput.h"

#include <libei.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>

#include "platform/linux/common/MonotonicClock.h"
#include "platform/linux/x11/KeyTable.h"

namespace quorvel::kwin {

namespace {

constexpr int callTimeoutMilliseconds = 500;
constexpr Nanos connectLimit = std::chrono::milliseconds(1000);
// Between the code points of one typed character, so that an application takes each alone.
constexpr Nanos pauseBetweenCodePoints = std::chrono::milliseconds(2);
// Evdev key codes are XKB's less 8.
constexpr std::uint32_t xkbKeycodeOffset = 8;

// libei logs to standard error unless told otherwise; the driver never writes there.
void quietLog(ei*, ei_log_priority, const char*, ei_log_context*) {}

constexpr dbus_int32_t portalKeyboard = 1;
constexpr dbus_int32_t portalPointer = 2;

}  // namespace

EisInput::~EisInput() {
    releaseAll();
    for (ei_device* device : devices_) {
        ei_device_stop_emulating(device);
        ei_device_unref(device);
    }
    for (ei_device* device : pending_) {
        ei_device_unref(device);
    }
    if (context_) {
        ei_unref(context_);
    }
}

bool EisInput::available() {
    if (!tried_) {
        tried_ = true;
        if (!connectToKWin()) {
            disconnected_ = true;
        }
    }
    if (context_ && !disconnected_) {
        dispatch(0);
    }
    return !disconnected_ && deviceFor(EI_DEVICE_CAP_POINTER_ABSOLUTE) &&
           deviceFor(EI_DEVICE_CAP_BUTTON) && deviceFor(EI_DEVICE_CAP_KEYBOARD) && layout_.loaded();
}

bool EisInput::connectToKWin() {
    if (!bus_) {
        return false;
    }
    MessagePtr call = methodCall("org.kde.KWin", "/org/kde/KWin/EIS/RemoteDesktop",
                                 "org.kde.KWin.EIS.RemoteDesktop", "connectToEIS");
    // KWin takes the remote-desktop portal's device types here, not libei's capabilities.
    dbus_int32_t capabilities = portalKeyboard | portalPointer;
    if (!call ||
        !dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &capabilities, DBUS_TYPE_INVALID)) {
        return false;
    }
    MessagePtr reply = bus_->call(std::move(call), callTimeoutMilliseconds);
    int fd = -1;
    dbus_int32_t cookie = 0;
    atspi::ErrorScope error;
    if (!reply || !dbus_message_get_args(reply.get(), error.get(), DBUS_TYPE_UNIX_FD, &fd,
                                         DBUS_TYPE_INT32, &cookie, DBUS_TYPE_INVALID)) {
        return false;
    }
    context_ = ei_new_sender(nullptr);
    if (!context_) {
        ::close(fd);
        return false;
    }
    ei_log_set_handler(context_, quietLog);
    ei_configure_name(context_, "quorvel-computer");
    if (ei_setup_backend_fd(context_, fd) != 0) {
        return false;  // the context owns the descriptor from here on
    }
    Nanos until = monotonicNow() + connectLimit;
    while (!disconnected_ && monotonicNow() < until && !(giveUp_ && giveUp_())) {
        bool all = deviceFor(EI_DEVICE_CAP_POINTER_ABSOLUTE) && deviceFor(EI_DEVICE_CAP_BUTTON) &&
                   deviceFor(EI_DEVICE_CAP_SCROLL) && deviceFor(EI_DEVICE_CAP_KEYBOARD) &&
                   layout_.loaded();
        if (all) {
            return true;
        }
        dispatch(20);
    }
    return !disconnected_;
}

void EisInput::dispatch(int waitMilliseconds) {
    if (!context_) {
        return;
    }
    pollfd descriptor{ei_get_fd(context_), POLLIN, 0};
    if (::poll(&descriptor, 1, waitMilliseconds) > 0) {
        ei_dispatch(context_);
    }
    while (ei_event* event = ei_get_event(context_)) {
        switch (ei_event_get_type(event)) {
            case EI_EVENT_DISCONNECT:
                disconnected_ = true;
                break;
            case EI_EVENT_SEAT_ADDED:
                ei_seat_bind_capabilities(ei_event_get_seat(event), EI_DEVICE_CAP_POINTER_ABSOLUTE,
                                          EI_DEVICE_CAP_BUTTON, EI_DEVICE_CAP_SCROLL,
                                          EI_DEVICE_CAP_KEYBOARD, nullptr);
                break;
            case EI_EVENT_DEVICE_ADDED: {
                ei_device* device = ei_event_get_device(event);
                pending_.push_back(ei_device_ref(device));
                if (ei_device_has_capability(device, EI_DEVICE_CAP_KEYBOARD)) {
                    loadKeymap(device);
                }
                break;
            }
            case EI_EVENT_DEVICE_RESUMED: {
                ei_device* device = ei_event_get_device(event);
                auto found = std::find(pending_.begin(), pending_.end(), device);
                if (found != pending_.end()) {
                    pending_.erase(found);
                    ei_device_start_emulating(device, ++sequence_);
                    devices_.push_back(device);
                }
                break;
            }
            case EI_EVENT_DEVICE_PAUSED:
            case EI_EVENT_DEVICE_REMOVED: {
                ei_device* device = ei_event_get_device(event);
                auto found = std::find(devices_.begin(), devices_.end(), device);
                if (found != devices_.end()) {
                    devices_.erase(found);
                    if (ei_event_get_type(event) == EI_EVENT_DEVICE_PAUSED) {
                        pending_.push_back(device);
                    } else {
                        ei_device_unref(device);
                    }
                }
                break;
            }
            case EI_EVENT_KEYBOARD_MODIFIERS:
                lockState_.latchedMods =
                    static_cast<std::uint8_t>(ei_event_keyboard_get_xkb_mods_latched(event));
                lockState_.lockedMods =
                    static_cast<std::uint8_t>(ei_event_keyboard_get_xkb_mods_locked(event));
                lockState_.lockedGroup =
                    static_cast<std::uint8_t>(ei_event_keyboard_get_xkb_group(event));
                layout_.setState(lockState_);
                break;
            default:
                break;
        }
        ei_event_unref(event);
    }
}

void EisInput::loadKeymap(ei_device* device) {
    ei_keymap* keymap = ei_device_keyboard_get_keymap(device);
    if (!keymap || ei_keymap_get_type(keymap) != EI_KEYMAP_TYPE_XKB) {
        return;
    }
    std::size_t size = ei_keymap_get_size(keymap);
    void* text = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, ei_keymap_get_fd(keymap), 0);
    if (text == MAP_FAILED) {
        return;
    }
    x11::XkbContextPtr context = x11::quietXkbContext();
    if (context) {
        x11::XkbKeymapPtr compiled(
            xkb_keymap_new_from_buffer(context.get(), static_cast<const char*>(text),
                                       strnlen(static_cast<const char*>(text), size),
                                       XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (compiled) {
            layout_ = x11::KeyboardLayout(std::move(compiled), lockState_);
        }
    }
    ::munmap(text, size);
}

ei_device* EisInput::deviceFor(unsigned capability) const {
    for (ei_device* device : devices_) {
        if (ei_device_has_capability(device, static_cast<ei_device_capability>(capability))) {
            return device;
        }
    }
    return nullptr;
}

void EisInput::frame(ei_device* device) {
    ei_device_frame(device, ei_now(context_));
}

void EisInput::movePointer(ScreenPoint position) {
    if (ei_device* device = deviceFor(EI_DEVICE_CAP_POINTER_ABSOLUTE)) {
        ei_device_pointer_motion_absolute(device, position.x, position.y);
        frame(device);
    }
}

void EisInput::pressButton(bool left) {
    if (ei_device* device = deviceFor(EI_DEVICE_CAP_BUTTON)) {
        ei_device_button_button(device, left ? BTN_LEFT : BTN_RIGHT, true);
        frame(device);
        heldButtons_.push_back(left);
    }
}

void EisInput::releaseButton(bool left) {
    auto found = std::find(heldButtons_.begin(), heldButtons_.end(), left);
    if (found == heldButtons_.end()) {
        return;  // a button already let go of makes no event
    }
    heldButtons_.erase(found);
    if (ei_device* device = deviceFor(EI_DEVICE_CAP_BUTTON)) {
        ei_device_button_button(device, left ? BTN_LEFT : BTN_RIGHT, false);
        frame(device);
    }
}

void EisInput::scroll(double dx, double dy) {
    if (ei_device* device = deviceFor(EI_DEVICE_CAP_SCROLL)) {
        ei_device_scroll_delta(device, dx, dy);
        frame(device);
    }
}

void EisInput::key(std::uint32_t xkbKeycode, bool press) {
    // Kept track of first, so that a device gone away cannot leave a key counted as held.
    if (press) {
        heldKeys_.push_back(xkbKeycode);
    } else {
        auto found = std::find(heldKeys_.rbegin(), heldKeys_.rend(), xkbKeycode);
        if (found == heldKeys_.rend()) {
            return;  // a key already let go of makes no event
        }
        heldKeys_.erase(std::next(found).base());
    }
    ei_device* device = deviceFor(EI_DEVICE_CAP_KEYBOARD);
    if (!device || xkbKeycode < xkbKeycodeOffset) {
        return;
    }
    ei_device_keyboard_key(device, xkbKeycode - xkbKeycodeOffset, press);
    frame(device);
}

std::optional<x11::KeyPosition> EisInput::find(x11::Keysym keysym) {
    // Caps Lock or a new group that KWin reported since the last key counts for this one.
    dispatch(0);
    return layout_.find(x11::namedKeysym(keysym));
}

void EisInput::keyDown(std::uint16_t virtualKey, std::uint64_t flags) {
    std::optional<x11::Keysym> keysym = x11::keysymForVirtualKey(virtualKey);
    if (!keysym) {
        return;
    }
    keyUp(virtualKey);
    std::vector<std::uint32_t> held;
    for (x11::Keysym modifier : x11::modifierKeysyms(flags)) {
        if (std::optional<x11::KeyPosition> position = find(modifier)) {
            key(position->keycode, true);
            held.push_back(position->keycode);
        } else {
            keysLeftOut_ = true;
        }
    }
    // The key that gives the keysym, pressed alone: the flags alone decide the modifiers.
    if (std::optional<x11::KeyPosition> position = find(*keysym)) {
        key(position->keycode, true);
        held.push_back(position->keycode);
    } else {
        keysLeftOut_ = true;
    }
    heldFor_.emplace_back(virtualKey, std::move(held));
}

void EisInput::keyUp(std::uint16_t virtualKey) {
    for (auto entry = heldFor_.begin(); entry != heldFor_.end(); ++entry) {
        if (entry->first == virtualKey) {
            for (auto keycode = entry->second.rbegin(); keycode != entry->second.rend();
                 ++keycode) {
                key(*keycode, false);
            }
            heldFor_.erase(entry);
            return;
        }
    }
}

std::vector<std::uint32_t> EisInput::keysFor(x11::Keysym keysym) {
    std::optional<x11::KeyPosition> position = find(keysym);
    if (!position) {
        return {};
    }
    if (!position->shifted) {
        return {position->keycode};
    }
    std::optional<xcb_keycode_t> shift = layout_.shiftKey();
    if (!shift) {
        return {};
    }
    return {*shift, position->keycode};
}

bool EisInput::hasKeysFor(std::u16string_view text) {
    for (x11::Keysym keysym : x11::keysymsForText(text)) {
        if (keysFor(keysym).empty()) {
            return false;
        }
    }
    return true;
}

bool EisInput::pressPasteKeys() {
    std::vector<std::uint32_t> control = keysFor(XKB_KEY_Control_L);
    std::vector<std::uint32_t> v = keysFor(XKB_KEY_v);
    if (control.size() != 1 || v.size() != 1) {
        return false;
    }
    key(control[0], true);
    key(v[0], true);
    key(v[0], false);
    key(control[0], false);
    return deviceFor(EI_DEVICE_CAP_KEYBOARD) != nullptr;
}

void EisInput::typeDown(std::uint16_t virtualKey, std::u16string_view text) {
    keyUp(virtualKey);
    std::vector<x11::Keysym> keysyms = x11::keysymsForText(text);
    for (std::size_t index = 0; index < keysyms.size(); ++index) {
        if (index > 0) {
            sleepFor(pauseBetweenCodePoints);
        }
        std::vector<std::uint32_t> keys = keysFor(keysyms[index]);
        if (keys.empty()) {
            keysLeftOut_ = true;  // the keymap has no key for it
            continue;
        }
        for (std::uint32_t keycode : keys) {
            key(keycode, true);
        }
        if (index + 1 < keysyms.size()) {
            for (auto keycode = keys.rbegin(); keycode != keys.rend(); ++keycode) {
                key(*keycode, false);
            }
        } else {
            heldFor_.emplace_back(virtualKey, std::move(keys));
        }
    }
}

void EisInput::releaseAll() {
    heldFor_.clear();
    while (!heldKeys_.empty()) {
        key(heldKeys_.back(), false);
    }
    while (!heldButtons_.empty()) {
        releaseButton(heldButtons_.back());
    }
    if (context_) {
        dispatch(0);
    }
}

}  // namespace quorvel::kwin
