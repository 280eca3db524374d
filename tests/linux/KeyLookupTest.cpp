// The key look-up under XKB layouts and states, on keymaps compiled from the system's layouts
// (no server needed), and the reading of the server's keyboard events.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/linux/x11/KeyboardLayout.h"
#include "platform/linux/x11/XcbXkb.h"

namespace quorvel::x11 {
namespace {

constexpr std::uint8_t capsLock = 0x02;
constexpr std::uint8_t numLock = 0x10;  // Mod2
constexpr std::uint8_t shift = 0x01;

XkbKeymapPtr compile(const char* layout) {
    static XkbContextPtr context = quietXkbContext(true);
    xkb_rule_names names{"evdev", "pc105", layout, "", ""};
    return XkbKeymapPtr(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
}

TEST(KeyLookup, FollowsTheGroupAndTheLatchedAndLockedModifiers) {
    struct Case {
        const char* layout;
        LockState state;
        Keysym keysym;
        std::optional<KeyPosition> expected;
    };
    // evdev keycodes: 10 is 1, 11 is 2, 29 is Y on us (Z on de), 34 is [ on us (ü on de),
    // 38 is A, 52 is Z on us (Y on de), 87 is the keypad's 1.
    const Case cases[] = {
        {"us", {}, 'a', KeyPosition{38, false}},
        {"us", {}, 'A', KeyPosition{38, true}},
        {"us", {.lockedMods = capsLock}, 'a', KeyPosition{38, true}},
        {"us", {.lockedMods = capsLock}, 'A', KeyPosition{38, false}},
        {"us", {.lockedMods = capsLock}, '1', KeyPosition{10, false}},
        {"us", {.lockedMods = capsLock}, '!', KeyPosition{10, true}},
        {"us", {}, 0xFFB1, std::nullopt},  // KP_1 needs Num Lock: Shift alone gives KP_End
        {"us", {.lockedMods = numLock}, 0xFFB1, KeyPosition{87, false}},
        {"us", {.lockedMods = numLock}, 0xFF9C, KeyPosition{87, true}},  // Shift gives KP_End
        {"us", {}, 0xFC, std::nullopt},                                  // no ü on us
        {"us,de", {}, 'y', KeyPosition{29, false}},
        {"us,de", {.lockedGroup = 1}, 'y', KeyPosition{52, false}},
        {"us,de", {.lockedGroup = 1}, 'z', KeyPosition{29, false}},
        {"us,de", {.lockedGroup = 1}, 0xFC, KeyPosition{34, false}},
        {"us,de", {.lockedGroup = 1}, 0xDC, KeyPosition{34, true}},
        {"us,de", {.lockedGroup = 1}, '"', KeyPosition{11, true}},
        {"us,de", {.lockedGroup = 1}, '@', std::nullopt},  // AltGr+Q on de: beyond Shift
        {"us,de", {.lockedMods = capsLock, .lockedGroup = 1}, 0xFC, KeyPosition{34, true}},
        {"us,de", {.latchedGroup = 1}, 'y', KeyPosition{52, false}},
        {"us,de", {.baseGroup = 1}, 'z', KeyPosition{29, false}},
        {"us,de", {.lockedGroup = 3}, 'y', KeyPosition{52, false}},  // wraps to the second
        // A latched Shift makes every key shifted: nothing gives the lower case.
        {"us", {.latchedMods = shift}, 'A', KeyPosition{38, false}},
        {"us", {.latchedMods = shift}, 'a', std::nullopt},
    };
    for (const Case& test : cases) {
        XkbKeymapPtr keymap = compile(test.layout);
        ASSERT_NE(keymap, nullptr) << test.layout;
        KeyboardLayout layout(std::move(keymap), test.state);
        std::optional<KeyPosition> found = layout.find(test.keysym);
        EXPECT_EQ(found.has_value(), test.expected.has_value())
            << test.layout << " keysym " << std::hex << test.keysym;
        if (found && test.expected) {
            EXPECT_EQ(found->keycode, test.expected->keycode)
                << test.layout << " keysym " << std::hex << test.keysym;
            EXPECT_EQ(found->shifted, test.expected->shifted)
                << test.layout << " keysym " << std::hex << test.keysym;
        }
    }
}

TEST(KeyLookup, ANewStateOrAUsedLatchMovesTheKeysAndShiftStaysOnItsKey) {
    KeyboardLayout layout(compile("us,de"), {});
    EXPECT_EQ(layout.find('y'), (KeyPosition{29, false}));
    layout.setState({.lockedGroup = 1});
    EXPECT_EQ(layout.find('y'), (KeyPosition{52, false}));
    layout.setState({.latchedMods = shift, .lockedGroup = 1});
    EXPECT_FALSE(layout.find('y').has_value());
    layout.useLatches();
    EXPECT_EQ(layout.find('y'), (KeyPosition{52, false}));
    EXPECT_EQ(layout.state(), (LockState{.lockedGroup = 1}));
    EXPECT_EQ(layout.shiftKey(), std::optional<xcb_keycode_t>(50));
    EXPECT_FALSE(KeyboardLayout().find('a').has_value());
    EXPECT_FALSE(KeyboardLayout().shiftKey().has_value());
}

// An event as XCB hands it over: the wire's 32 bytes and the full sequence number after them.
xcb_generic_event_t wireEvent(const void* bytes, std::size_t size, std::uint32_t sequence) {
    xcb_generic_event_t event{};
    std::memcpy(&event, bytes, size);
    event.full_sequence = sequence;
    return event;
}

TEST(KeyboardEvents, AreReadAsAChangedMapOrANewStateOfTheCoreKeyboard) {
    constexpr std::uint8_t xkbBase = 85;
    constexpr std::uint8_t device = 3;
    auto xkb = [&](std::uint8_t xkbType, std::uint8_t eventDevice) {
        xcb_xkb_state_notify_event_t notify{};
        notify.response_type = xkbBase;
        notify.xkbType = xkbType;
        notify.deviceID = eventDevice;
        notify.latchedMods = shift;
        notify.lockedMods = capsLock | numLock;
        notify.baseGroup = -1;
        notify.latchedGroup = 1;
        notify.lockedGroup = 2;
        return wireEvent(&notify, sizeof notify, 700);
    };
    auto mapping = [](std::uint8_t request, std::uint8_t type) {
        xcb_mapping_notify_event_t notify{};
        notify.response_type = type;
        notify.request = request;
        return wireEvent(&notify, sizeof notify, 12);
    };
    using Kind = KeyboardEvent::Kind;
    struct Case {
        const char* what;
        xcb_generic_event_t event;
        std::optional<std::uint8_t> xkbFirstEvent;
        Kind kind;
    };
    const Case cases[] = {
        {"state", xkb(XCB_XKB_STATE_NOTIFY, device), xkbBase, Kind::StateChanged},
        {"map", xkb(XCB_XKB_MAP_NOTIFY, device), xkbBase, Kind::MapChanged},
        {"new keyboard", xkb(XCB_XKB_NEW_KEYBOARD_NOTIFY, device), xkbBase, Kind::MapChanged},
        {"controls", xkb(XCB_XKB_CONTROLS_NOTIFY, device), xkbBase, Kind::Other},
        {"another device", xkb(XCB_XKB_STATE_NOTIFY, 9), xkbBase, Kind::Other},
        {"not selected", xkb(XCB_XKB_STATE_NOTIFY, device), std::nullopt, Kind::Other},
        {"another extension", xkb(XCB_XKB_STATE_NOTIFY, device), 90, Kind::Other},
        {"core keyboard", mapping(XCB_MAPPING_KEYBOARD, XCB_MAPPING_NOTIFY), xkbBase,
         Kind::MapChanged},
        {"core modifiers", mapping(XCB_MAPPING_MODIFIER, XCB_MAPPING_NOTIFY), xkbBase,
         Kind::MapChanged},
        {"sent by a client", mapping(XCB_MAPPING_KEYBOARD, XCB_MAPPING_NOTIFY | 0x80), xkbBase,
         Kind::MapChanged},
        {"core pointer", mapping(XCB_MAPPING_POINTER, XCB_MAPPING_NOTIFY), xkbBase, Kind::Other},
        {"key press", mapping(0, XCB_KEY_PRESS), xkbBase, Kind::Other},
    };
    for (const Case& test : cases) {
        KeyboardEvent decoded = decodeKeyboardEvent(test.event, test.xkbFirstEvent, device);
        EXPECT_EQ(decoded.kind, test.kind) << test.what;
    }
    KeyboardEvent state = decodeKeyboardEvent(xkb(XCB_XKB_STATE_NOTIFY, device), xkbBase, device);
    EXPECT_EQ(state.state, (LockState{shift, capsLock | numLock, -1, 1, 2}));
    EXPECT_EQ(state.sequence, 700u);
}

TEST(SpareBinding, ACasedLetterGetsBothCasesByNameAnythingElseOneSymbolTwice) {
    struct Case {
        Keysym keysym;
        std::array<Keysym, 2> levels;
    };
    const Case cases[] = {
        {'a', {'a', 'A'}},
        {'A', {'a', 'A'}},
        {0xE9, {0xE9, 0xC9}},                 // é, Latin-1 as itself
        {0x1000101, {0x3E0, 0x3C0}},          // ā by its name amacron, which the server cases
        {0x1000444, {0x6C6, 0x6E6}},          // ф as Cyrillic_ef
        {0x1000142, {0x1B3, 0x1A3}},          // ł as lstroke
        {0x10065E5, {0x10065E5, 0x10065E5}},  // 日 has no case and no name
        {0x101F600, {0x101F600, 0x101F600}},  // 😀
        {0x10001C5, {0x10001C5, 0x10001C5}},  // ǅ is title case: neither pair member is it
        {0x1000100 + 0x20AC - 0x100, {0x20AC, 0x20AC}},  // € as EuroSign
        {'1', {'1', '1'}},
        {0xFF0D, {0xFF0D, 0xFF0D}},  // Return
    };
    for (const Case& test : cases) {
        EXPECT_EQ(bindingLevels(test.keysym), test.levels) << std::hex << test.keysym;
    }
    // Only what no chord names and Caps Lock cannot change shares a keycode.
    for (Keysym shares : {Keysym{0x10065E5}, Keysym{0x101F600}, Keysym{0x100200D}, Keysym{0xB0}}) {
        EXPECT_TRUE(mayShareKeycode(shares)) << std::hex << shares;
    }
    for (Keysym alone : {Keysym{'1'}, Keysym{' '}, Keysym{'a'}, Keysym{0xFF0D}, Keysym{0xFFE1},
                         Keysym{0xE9}, Keysym{0x1000101}}) {
        EXPECT_FALSE(mayShareKeycode(alone)) << std::hex << alone;
    }
    EXPECT_EQ(namedKeysym(0x1000444), Keysym{0x6C6});
    EXPECT_EQ(namedKeysym(0x101F600), Keysym{0x101F600});
    EXPECT_EQ(namedKeysym(0xFF0A), Keysym{0xFF0A});
}

}  // namespace
}  // namespace quorvel::x11
