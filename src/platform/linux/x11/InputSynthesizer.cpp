#include "platform/linux/x11/InputSynthesizer.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <cmath>

#include "platform/linux/common/MonotonicClock.h"

namespace quorvel::x11 {

namespace {

// Between the code points of one character, so that each key event is handled on its own.
constexpr Nanos pauseBetweenCodePoints = std::chrono::milliseconds(2);

std::int16_t coordinate(double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    double rounded = std::round(value);
    return static_cast<std::int16_t>(std::clamp(rounded, -32768.0, 32767.0));
}

// Wheel buttons: 4 up, 5 down, 6 left, 7 right.
constexpr std::uint8_t wheelUp = 4;
constexpr std::uint8_t wheelDown = 5;
constexpr std::uint8_t wheelLeft = 6;
constexpr std::uint8_t wheelRight = 7;

}  // namespace

bool InputSynthesizer::available() {
    if (!available_) {
        available_ = false;
        if (connection_.usable()) {
            available_ = connection_.hasExtension("XTEST");
        }
    }
    return *available_ && connection_.usable();
}

std::uint32_t InputSynthesizer::fakeInput(std::uint8_t type, std::uint8_t detail, std::int16_t x,
                                          std::int16_t y) {
    sendWaitingKeyUp();  // events reach the server in the order they were posted
    xcb_window_t root = type == XCB_MOTION_NOTIFY ? connection_.root() : XCB_NONE;
    xcb_void_cookie_t cookie =
        xcb_test_fake_input(connection_.xcb(), type, detail, XCB_CURRENT_TIME, root, x, y, 0);
    posted_ = true;
    return cookie.sequence;
}

void InputSynthesizer::movePointer(ScreenPoint position) {
    if (!available()) {
        return;
    }
    fakeInput(XCB_MOTION_NOTIFY, 0, coordinate(position.x), coordinate(position.y));
}

void InputSynthesizer::pressButton(Button button) {
    if (!available()) {
        return;
    }
    fakeInput(XCB_BUTTON_PRESS, static_cast<std::uint8_t>(button));
    heldButtons_.push_back(button);
}

void InputSynthesizer::releaseButton(Button button) {
    auto held = std::find(heldButtons_.begin(), heldButtons_.end(), button);
    if (held == heldButtons_.end() || !available()) {
        return;  // only a press of ours is released
    }
    fakeInput(XCB_BUTTON_RELEASE, static_cast<std::uint8_t>(button));
    heldButtons_.erase(held);
}

void InputSynthesizer::scroll(std::int32_t wheel1, std::int32_t wheel2) {
    if (!available()) {
        return;
    }
    auto clicks = [&](std::int32_t amount, std::uint8_t positive, std::uint8_t negative) {
        std::uint8_t button = amount > 0 ? positive : negative;
        for (std::uint32_t click = wheelClicks(amount); click > 0; --click) {
            fakeInput(XCB_BUTTON_PRESS, button);
            fakeInput(XCB_BUTTON_RELEASE, button);
        }
    };
    clicks(wheel1, wheelUp, wheelDown);
    clicks(wheel2, wheelLeft, wheelRight);
}

void InputSynthesizer::pressKey(xcb_keycode_t keycode, bool modifier) {
    std::uint32_t sequence = fakeInput(XCB_KEY_PRESS, keycode);
    keyboard_.pressed(keycode, modifier, !heldKeys_.empty(), sequence, connection_.grabbed());
    heldKeys_.push_back(keycode);
    lastKeyEvent_ = monotonicNow();
}

void InputSynthesizer::releaseKey(xcb_keycode_t keycode) {
    auto held = std::find(heldKeys_.begin(), heldKeys_.end(), keycode);
    if (held == heldKeys_.end()) {
        return;
    }
    heldKeys_.erase(held);
    // A key pressed twice by us (a modifier shared by two chords) stays down for the other.
    if (std::find(heldKeys_.begin(), heldKeys_.end(), keycode) != heldKeys_.end()) {
        return;
    }
    fakeInput(XCB_KEY_RELEASE, keycode);
    lastKeyEvent_ = monotonicNow();
}

std::optional<KeyPosition> InputSynthesizer::position(Keysym keysym) {
    std::optional<KeyPosition> found = keyboard_.find(keysym);
    if (!found) {
        bind({keysym});
        found = keyboard_.find(keysym);
    }
    if (!found) {
        keysLeftOut_ = true;
    }
    return found;
}

void InputSynthesizer::prepareKey(std::uint16_t virtualKey, std::uint64_t flags) {
    std::optional<Keysym> keysym = keysymForVirtualKey(virtualKey);
    if (!keysym || !available()) {
        return;
    }
    std::vector<Keysym> keysyms = modifierKeysyms(flags);
    keysyms.push_back(*keysym);
    keyboard_.current();
    bind(keysyms);
}

void InputSynthesizer::prepareText(std::u16string_view text) {
    if (available()) {
        keyboard_.current();
        bind(keysymsForText(text));
    }
}

void InputSynthesizer::bind(const std::vector<Keysym>& keysyms) {
    if (!keyboard_.hasAll(keysyms)) {
        // A key event is looked up in the mapping of its time: a waiting one goes out first.
        sendWaitingKeyUp();
        keyboard_.bind(keysyms, lastKeyEvent_);
        // Not while the server is held: the applications could not read the change meanwhile.
        if (!connection_.grabbed() && keyboard_.lastChange() != Nanos{0}) {
            sleepUntil(keyboard_.lastChange() + KeyboardMap::settleAfterChange);
        }
    }
}

void InputSynthesizer::keyDown(std::uint16_t virtualKey, std::uint64_t flags) {
    std::optional<Keysym> keysym = keysymForVirtualKey(virtualKey);
    if (!keysym || !available()) {
        return;
    }
    releaseHeld(virtualKey);
    if (!keyboard_.current()) {
        keysLeftOut_ = true;  // a changed keyboard that could not be read again
        return;
    }
    std::vector<xcb_keycode_t>& held = heldFor_[virtualKey];
    for (Keysym modifier : modifierKeysyms(flags)) {
        std::optional<KeyPosition> key = position(modifier);
        if (key) {
            pressKey(key->keycode, true);
            held.push_back(key->keycode);
        }
    }
    // The key that gives the keysym, pressed alone: the flags alone decide the modifiers.
    std::optional<KeyPosition> key = position(*keysym);
    if (key) {
        pressKey(key->keycode, false);
        held.push_back(key->keycode);
    }
}

void InputSynthesizer::releaseHeld(std::uint16_t virtualKey) {
    auto found = heldFor_.find(virtualKey);
    if (found == heldFor_.end()) {
        return;
    }
    std::vector<xcb_keycode_t> keys = std::move(found->second);
    heldFor_.erase(found);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        releaseKey(*key);
    }
}

void InputSynthesizer::keyUp(std::uint16_t virtualKey) {
    if (!available()) {
        return;
    }
    releaseHeld(virtualKey);
}

void InputSynthesizer::typeDown(std::uint16_t virtualKey, std::u16string_view text) {
    if (!available()) {
        return;
    }
    releaseHeld(virtualKey);
    std::vector<Keysym> keysyms = keysymsForText(text);
    for (std::size_t index = 0; index < keysyms.size(); ++index) {
        if (index > 0) {
            connection_.flush();
            sleepFor(pauseBetweenCodePoints);
        }
        // What the server reported since the last press counts for this one: a new group or
        // lock, a keymap another client changed.
        if (!keyboard_.current()) {
            keysLeftOut_ = true;
            continue;
        }
        std::optional<KeyPosition> key = position(keysyms[index]);
        if (!key) {
            continue;  // no spare keycode could take it
        }
        std::optional<xcb_keycode_t> shift = key->shifted ? keyboard_.shiftKey() : std::nullopt;
        if (key->shifted && !shift) {
            keysLeftOut_ = true;
            continue;
        }
        std::vector<xcb_keycode_t> keys;
        if (shift) {
            keys.push_back(*shift);
        }
        keys.push_back(key->keycode);
        for (xcb_keycode_t keycode : keys) {
            pressKey(keycode, shift && keycode == *shift);
        }
        if (index + 1 < keysyms.size()) {
            for (auto keycode = keys.rbegin(); keycode != keys.rend(); ++keycode) {
                releaseKey(*keycode);
            }
        } else {
            heldFor_[virtualKey] = keys;
        }
    }
}

void InputSynthesizer::keyUpLater(std::uint16_t virtualKey) {
    sendWaitingKeyUp();
    waitingKeyUp_ = virtualKey;
}

void InputSynthesizer::sendWaitingKeyUp() {
    if (waitingKeyUp_) {
        std::uint16_t virtualKey = *waitingKeyUp_;
        waitingKeyUp_.reset();
        keyUp(virtualKey);
    }
}

void InputSynthesizer::releaseAll() {
    if (!connection_.usable()) {
        return;
    }
    sendWaitingKeyUp();
    heldFor_.clear();
    while (!heldKeys_.empty()) {
        xcb_keycode_t keycode = heldKeys_.back();
        heldKeys_.erase(std::remove(heldKeys_.begin(), heldKeys_.end(), keycode), heldKeys_.end());
        fakeInput(XCB_KEY_RELEASE, keycode);
        lastKeyEvent_ = monotonicNow();
    }
    while (!heldButtons_.empty()) {
        Button button = heldButtons_.back();
        heldButtons_.erase(std::remove(heldButtons_.begin(), heldButtons_.end(), button),
                           heldButtons_.end());
        fakeInput(XCB_BUTTON_RELEASE, static_cast<std::uint8_t>(button));
    }
    connection_.flush();
    keyboard_.restore(lastKeyEvent_);
    if (posted_) {
        // The server has handled every event once this returns: a release sent just before
        // the connection closes was seen to be lost. What it reported before is in by then.
        posted_ = false;
        if (connection_.sync()) {
            keyboard_.takeEvents();
        }
    }
}

}  // namespace quorvel::x11
