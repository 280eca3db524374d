#pragma once

// Input as if from the hardware through KWin's EIS (libei): an absolute pointer in global
// coordinates, its left and right buttons, pixel scrolling on both axes and a keyboard under
// KWin's own keymap. KWin hands out the connection over D-Bus without asking the user. Every key
// and button pressed here is remembered until released, so that `releaseAll` leaves nothing
// pressed, whatever path the request took.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/kwin/SessionBus.h"
#include "platform/linux/x11/KeyboardLayout.h"

struct ei;
struct ei_device;

namespace quorvel::kwin {

class EisInput {
  public:
    explicit EisInput(std::optional<SessionBus>& bus) : bus_(bus) {}
    ~EisInput();
    EisInput(const EisInput&) = delete;
    EisInput& operator=(const EisInput&) = delete;

    void endWaitsWhen(std::function<bool()> giveUp) { giveUp_ = std::move(giveUp); }

    // Connects on first use; true while KWin gives a pointer, its buttons, scrolling and a
    // keyboard with a keymap.
    bool available();

    void movePointer(ScreenPoint position);
    void pressButton(bool left);
    void releaseButton(bool left);
    // Pixels; positive scrolls down and right.
    void scroll(double dx, double dy);

    // A key of the driver's key table with the modifiers that `flags` name held around it.
    void keyDown(std::uint16_t virtualKey, std::uint64_t flags);
    void keyUp(std::uint16_t virtualKey);
    // The key-down of one typed character: every code point but the last is pressed and
    // released; the last stays down until `keyUp`.
    void typeDown(std::uint16_t virtualKey, std::u16string_view text);

    // Whether the keymap, as it is now, has a key for every code point of `text`.
    bool hasKeysFor(std::u16string_view text);
    // Control and V pressed and released, the paste keys of GTK, Qt and most applications;
    // false when the keymap has neither.
    bool pressPasteKeys();

    // Whether a key or character was left out: the keymap has no key for it.
    bool keysLeftOut() const { return keysLeftOut_; }

    void releaseAll();

  private:
    bool connectToKWin();
    // Takes in what KWin sent, waiting up to `wait` when nothing has arrived.
    void dispatch(int waitMilliseconds);
    void loadKeymap(ei_device* device);
    ei_device* deviceFor(unsigned capability) const;
    void frame(ei_device* device);
    void key(std::uint32_t xkbKeycode, bool press);
    std::optional<x11::KeyPosition> find(x11::Keysym keysym);
    // The keys that type `keysym` (Shift first where it is held); empty when there are none.
    std::vector<std::uint32_t> keysFor(x11::Keysym keysym);

    std::optional<SessionBus>& bus_;
    std::function<bool()> giveUp_;
    bool tried_ = false;
    bool disconnected_ = false;
    ei* context_ = nullptr;
    std::vector<ei_device*> devices_;  // resumed and emulating
    std::vector<ei_device*> pending_;  // added, not yet resumed
    std::uint32_t sequence_ = 0;
    x11::KeyboardLayout layout_;
    x11::LockState lockState_;
    std::vector<std::uint32_t> heldKeys_;  // xkb keycodes, in press order
    std::vector<std::pair<std::uint16_t, std::vector<std::uint32_t>>> heldFor_;
    std::vector<bool> heldButtons_;  // true for left
    bool keysLeftOut_ = false;
};

}  // namespace quorvel::kwin
