#pragma once

// Input as if from the hardware, through the XTEST extension: pointer moves, button presses,
// wheel clicks, key chords and typed text. It remembers every key and button it holds down so
// that `releaseAll` can let go of them and put the keyboard mapping back, whatever path the
// request took. Events wait in the connection's buffer until its owner flushes it, so that an
// event and the end of a server grab go out in one write; the waits here flush first.
//
// Keys are looked up in the server's keymap and state as they are right before each press:
// called under the server grab that the focus check began, a press cannot meet a keyboard that
// another client changed after the look-up.

#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/x11/KeyboardMap.h"
#include "platform/linux/x11/XConnection.h"

namespace quorvel::x11 {

enum class Button : std::uint8_t { Left = 1, Right = 3 };

class InputSynthesizer {
  public:
    explicit InputSynthesizer(XConnection& connection)
        : connection_(connection), keyboard_(connection) {}

    // Whether events can be synthesized at all: a display with XTEST.
    bool available();

    void movePointer(ScreenPoint position);
    void pressButton(Button button);
    void releaseButton(Button button);
    // Wheel 1 positive scrolls up, wheel 2 positive scrolls left; both in pixels.
    void scroll(std::int32_t wheel1, std::int32_t wheel2);

    // Binds to spare keycodes, ahead of posting, the keysyms that a key with `flags`, or a typed
    // character, needs and the keyboard lacks, so that posting itself only presses keys.
    void prepareKey(std::uint16_t virtualKey, std::uint64_t flags);
    void prepareText(std::u16string_view text);

    // A key of the driver's key table with the modifier keys that `flags` name held around it.
    // Does nothing for a virtual key that the table lacks.
    void keyDown(std::uint16_t virtualKey, std::uint64_t flags);
    void keyUp(std::uint16_t virtualKey);

    // The key-down of one typed character: every code point but the last is pressed and
    // released, the last stays down until `keyUp(virtualKey)`.
    void typeDown(std::uint16_t virtualKey, std::u16string_view text);

    // A key-up that waits until `sendWaitingKeyUp`, or until any other event or change of the
    // keyboard mapping, which sends it first: the owner can put it behind its next questions
    // to the server.
    void keyUpLater(std::uint16_t virtualKey);
    void sendWaitingKeyUp();

    // Between a press and its release the pressed window's owner holds the pointer grab that
    // the press made.
    bool holdsButton() const { return !heldButtons_.empty(); }

    // Releases every key and button still held, then restores the keyboard mapping.
    void releaseAll();

    // Whether another client changed the keyboard before the server handled a key press that
    // was looked up without the server held: that press may have typed something else.
    bool keyboardChangedUnderUs() const { return keyboard_.changedUnderUs(); }
    // Whether a key or a character was left out: no key gave it and no spare keycode could take
    // it, or the keyboard had changed and could not be read again.
    bool keysLeftOut() const { return keysLeftOut_; }

  private:
    // Gives the request's sequence number.
    std::uint32_t fakeInput(std::uint8_t type, std::uint8_t detail, std::int16_t x = 0,
                            std::int16_t y = 0);
    void pressKey(xcb_keycode_t keycode, bool modifier);
    void releaseKey(xcb_keycode_t keycode);
    std::optional<KeyPosition> position(Keysym keysym);
    // Binds what the keyboard lacks of `keysyms`, after sending a waiting key-up.
    void bind(const std::vector<Keysym>& keysyms);
    void releaseHeld(std::uint16_t virtualKey);

    XConnection& connection_;
    KeyboardMap keyboard_;
    std::optional<bool> available_;
    std::optional<std::uint16_t> waitingKeyUp_;
    std::vector<xcb_keycode_t> heldKeys_;  // in press order
    std::map<std::uint16_t, std::vector<xcb_keycode_t>> heldFor_;
    std::vector<Button> heldButtons_;
    Nanos lastKeyEvent_{0};
    bool posted_ = false;
    bool keysLeftOut_ = false;
};

}  // namespace quorvel::x11
