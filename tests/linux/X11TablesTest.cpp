#include <gtest/gtest.h>

#include "platform/linux/common/ProcessTable.h"
#include "platform/linux/x11/KeyTable.h"
#include "platform/linux/x11/WindowLayer.h"
#include "platform/linux/x11/XConnection.h"

namespace quorvel::x11 {
namespace {

TEST(WindowLayer, FollowsTheTableOfWindowKinds) {
    struct Case {
        WindowKind kind;
        std::optional<int> layer;
    };
    const Case cases[] = {
        {{WindowType::Desktop, false, false, false}, std::nullopt},
        {{std::nullopt, false, false, false}, 0},
        {{WindowType::Normal, false, false, false}, 0},
        {{WindowType::Dialog, false, false, false}, 0},
        {{WindowType::Utility, false, false, false}, 0},
        {{WindowType::Normal, false, false, true}, -1},
        {{WindowType::Normal, false, true, false}, 3},
        {{WindowType::Dock, false, false, false}, 20},
        {{WindowType::PopupMenu, true, false, false}, 101},
        {{WindowType::DropdownMenu, true, false, false}, 101},
        {{WindowType::Combo, true, false, false}, 101},
        {{std::nullopt, true, false, false}, 101},
        // An unmanaged popup that calls itself normal still floats over every managed window.
        {{WindowType::Normal, true, false, false}, 101},
        {{WindowType::Notification, true, false, false}, 102},
        {{WindowType::Tooltip, true, false, false}, 200},
        {{WindowType::Dnd, true, false, false}, 500},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(windowLayer(test.kind), test.layer)
            << "type " << (test.kind.type ? static_cast<int>(*test.kind.type) : -1) << " override "
            << test.kind.overrideRedirect;
    }
    EXPECT_EQ(windowTypeAtomNames().size(), static_cast<std::size_t>(WindowType::Normal) + 1);
}

TEST(KeyTable, EveryVirtualKeyOfTheKeyTableHasAKeysym) {
    const std::uint16_t codes[] = {0,  1,  2,   3,   4,   5,   6,   7,   8,   9,   11, 12, 13,
                                   14, 15, 16,  17,  31,  32,  34,  35,  37,  38,  40, 45, 46,
                                   18, 19, 20,  21,  22,  23,  25,  26,  28,  29,  36, 48, 49,
                                   51, 53, 117, 115, 119, 116, 121, 123, 124, 125, 126};
    for (std::uint16_t code : codes) {
        EXPECT_TRUE(keysymForVirtualKey(code).has_value()) << code;
    }
    EXPECT_EQ(keysymForVirtualKey(0), Keysym{'a'});
    EXPECT_EQ(keysymForVirtualKey(17), Keysym{'t'});
    EXPECT_EQ(keysymForVirtualKey(23), Keysym{'5'});
    EXPECT_EQ(keysymForVirtualKey(36), Keysym{0xFF0D});   // Return
    EXPECT_EQ(keysymForVirtualKey(51), Keysym{0xFF08});   // BackSpace deletes backwards
    EXPECT_EQ(keysymForVirtualKey(117), Keysym{0xFFFF});  // Delete deletes forwards
    EXPECT_EQ(keysymForVirtualKey(116), Keysym{0xFF55});  // Prior
    EXPECT_EQ(keysymForVirtualKey(123), Keysym{0xFF51});  // Left
    EXPECT_FALSE(keysymForVirtualKey(10).has_value());
    EXPECT_FALSE(keysymForVirtualKey(96).has_value());  // F5 is not in the table
}

TEST(KeyTable, ModifierFlagsBecomeModifierKeysInAFixedOrder) {
    EXPECT_TRUE(modifierKeysyms(0).empty());
    EXPECT_EQ(modifierKeysyms(0x100000 | 0x20000), (std::vector<Keysym>{0xFFE1, 0xFFEB}));
    EXPECT_EQ(modifierKeysyms(0x40000 | 0x80000 | 0x20000 | 0x100000),
              (std::vector<Keysym>{0xFFE3, 0xFFE1, 0xFFE9, 0xFFEB}));
    EXPECT_TRUE(modifierKeysyms(0x1).empty());  // flags without a modifier key
}

TEST(KeyTable, TextBecomesOneKeysymPerCodePoint) {
    EXPECT_EQ(keysymsForText(u"a\u00E9\r\n\t"),
              (std::vector<Keysym>{'a', 0xE9, 0xFF0D, 0xFF0A, 0xFF09}));
    // e + combining acute, a Hangul syllable, an emoji family joined by ZWJ
    EXPECT_EQ(keysymsForText(u"e\u0301\uD55C"), (std::vector<Keysym>{'e', 0x1000301, 0x100D55C}));
    EXPECT_EQ(keysymsForText(u"\U0001F468\u200D\U0001F469"),
              (std::vector<Keysym>{0x101F468, 0x100200D, 0x101F469}));
    // Unpaired surrogates type the replacement character.
    EXPECT_EQ(keysymsForText(u"\xD83D"
                             u"a\xDC00"),
              (std::vector<Keysym>{0x100FFFD, 'a', 0x100FFFD}));
    EXPECT_EQ(keysymsForText(u"\u007F\u001B\b"), (std::vector<Keysym>{0xFFFF, 0xFF1B, 0xFF08}));
    EXPECT_EQ(keysymsForText(u"\u0085"), (std::vector<Keysym>{0x1000085}));
}

TEST(KeyTable, WheelClicksRoundToFiftyPixelsAndAreBounded) {
    struct Case {
        std::int64_t pixels;
        std::uint32_t clicks;
    };
    const Case cases[] = {{0, 0},
                          {1, 1},
                          {-1, 1},
                          {24, 1},
                          {25, 1},
                          {74, 1},
                          {75, 2},
                          {100, 2},
                          {-120, 2},
                          {5000, 100},
                          {100000, 2000},
                          {2147483647, 2000},
                          {-2147483648LL, 2000}};
    for (const Case& test : cases) {
        EXPECT_EQ(wheelClicks(test.pixels), test.clicks) << test.pixels;
    }
}

TEST(ProcessTable, ZombiesAndDeadProcessesAreNotLive) {
    EXPECT_TRUE(statDescribesLiveProcess("42 (bash) S 1 42 42 0"));
    EXPECT_TRUE(statDescribesLiveProcess("42 (a) b) R 1"));
    EXPECT_TRUE(statDescribesLiveProcess("42 (x (Z) y) S 1"));  // the name may hold ") Z"
    EXPECT_FALSE(statDescribesLiveProcess("42 (bash) Z 1 42"));
    EXPECT_FALSE(statDescribesLiveProcess("42 (bash) X 1 42"));
    EXPECT_FALSE(statDescribesLiveProcess("42 (bash)"));
    EXPECT_FALSE(statDescribesLiveProcess(""));
    EXPECT_TRUE(processIsLive(static_cast<std::int32_t>(getpid())));
    EXPECT_FALSE(processIsLive(0));
    EXPECT_FALSE(processIsLive(-1));
}

}  // namespace
}  // namespace quorvel::x11

namespace quorvel::x11 {
namespace {

TEST(Property, CardinalsAreWholeThirtyTwoBitValuesOnly) {
    Property empty{XCB_ATOM_CARDINAL, 32, ""};
    EXPECT_TRUE(empty.cardinals().empty());
    EXPECT_EQ(empty.firstCardinal(), std::nullopt);
    Property cut{XCB_ATOM_CARDINAL, 32, std::string("\x01\x02", 2)};
    EXPECT_TRUE(cut.cardinals().empty());
    Property two{XCB_ATOM_CARDINAL, 32, std::string("\x2A\0\0\0\x07\0\0\0\x09", 9)};
    EXPECT_EQ(two.cardinals(), (std::vector<std::uint32_t>{42, 7}));
    EXPECT_EQ(two.firstCardinal(), 42u);
    Property text{XCB_ATOM_STRING, 8, "abcd"};
    EXPECT_TRUE(text.cardinals().empty());
}

}  // namespace
}  // namespace quorvel::x11
