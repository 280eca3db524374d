#include <set>
#include <vector>

#include "InputTest.h"
#include "input/Actions.h"
#include "input/KeyCodes.h"
#include "main/Unicode.h"

namespace quorvel {
namespace {

Json keys(std::vector<Json> names) {
    return Json{{"keys", names}};
}

TEST(KeyCodes, EveryNameIsUpperCaseAndAppearsOnce) {
    std::set<std::string_view> names;
    for (const NamedKey& key : keyCodes) {
        EXPECT_TRUE(names.insert(key.name).second) << key.name;
        EXPECT_EQ(upperCase(key.name), key.name);
        EXPECT_FALSE(modifierFlag(key.name)) << key.name;
    }
}

TEST(Keypress, ModifiersBecomeFlagsOnEveryKeyEventAndKeysArePressedInOrder) {
    struct Case {
        Json action;
        std::string transcript;
        Nanos endsAt;
    };
    const Case cases[] = {
        {keys({"cmd", "shift", "t"}),
         "t=0.000 key-down 17 flags=0x120000\n"
         "t=0.120 key-up 17 flags=0x120000\n",
         240ms},
        {keys({"a", "b"}),
         "t=0.000 key-down 0 flags=0x0\n"
         "t=0.120 key-up 0 flags=0x0\n"
         "t=0.240 key-down 11 flags=0x0\n"
         "t=0.360 key-up 11 flags=0x0\n",
         480ms},
        {keys({"a", "SHIFT"}),
         "t=0.000 key-down 0 flags=0x20000\n"
         "t=0.120 key-up 0 flags=0x20000\n",
         240ms},
        {keys({"Control", "ctrl", "Option", "alt", "META", "super", "Command", "Escape"}),
         "t=0.000 key-down 53 flags=0x1c0000\n"
         "t=0.120 key-up 53 flags=0x1c0000\n",
         240ms},
        {keys({"x", "x"}),
         "t=0.000 key-down 7 flags=0x0\n"
         "t=0.120 key-up 7 flags=0x0\n"
         "t=0.240 key-down 7 flags=0x0\n"
         "t=0.360 key-up 7 flags=0x0\n",
         480ms},
        // Only modifiers, or nothing: no event, and the focus is not even asked for.
        {keys({"cmd", "shift"}), "", 0ns},
        {keys({}), "", 0ns},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        EXPECT_EQ(world.carryOut(keypressAction, c.action), "") << c.action;
        EXPECT_EQ(world.desktop.transcript(), c.transcript) << c.action;
        EXPECT_EQ(world.desktop.now(), c.endsAt) << c.action;
        if (c.transcript.empty()) {
            EXPECT_EQ(world.desktop.frontmostQueries, 0);
        }
    }
}

TEST(Keypress, NamesMatchAfterUnicodeUpperCasingWhateverTheLocale) {
    struct Case {
        const char* name;
        const char* keyDown;
    };
    const Case cases[] = {
        {"Enter", "key-down 36 flags=0x0"},
        {"eNtEr", "key-down 36 flags=0x0"},
        {"RETURN", "key-down 36 flags=0x0"},
        {"return", "key-down 36 flags=0x0"},
        {"pagedown", "key-down 121 flags=0x0"},
        {"ArrowLeft", "key-down 123 flags=0x0"},
        {"left", "key-down 123 flags=0x0"},
        {"\xC5\xBF", "key-down 1 flags=0x0"},        // long s upper-cases to S
        {"r\xC4\xB1ght", "key-down 124 flags=0x0"},  // dotless i upper-cases to I
        {"\xC4\xB1", "key-down 34 flags=0x0"},       // a lone dotless i is the I key
        {"\xC5\xBFpace", "key-down 49 flags=0x0"},   // SPACE
        {"\xC5\xBFhift\xE2\x80\x8B", nullptr},       // a zero-width space spoils it
    };
    for (const Case& c : cases) {
        InputDesktop world;
        std::string failure = world.carryOut(keypressAction, keys({c.name}));
        if (c.keyDown) {
            EXPECT_EQ(failure, "") << c.name;
            EXPECT_EQ(world.desktop.transcript().substr(0, world.desktop.transcript().find('\n')),
                      std::string("t=0.000 ") + c.keyDown)
                << c.name;
        } else {
            EXPECT_EQ(failure, std::string("Unsupported key: ") + c.name);
        }
    }
    // A long s in a modifier name makes it the Shift modifier.
    InputDesktop world;
    EXPECT_EQ(world.carryOut(keypressAction, keys({"\xC5\xBFHIFT", "1"})), "");
    EXPECT_EQ(world.desktop.transcript(),
              "t=0.000 key-down 18 flags=0x20000\nt=0.120 key-up 18 flags=0x20000\n");
}

TEST(Keypress, EveryNameIsResolvedBeforeTheFirstEvent) {
    struct Case {
        Json action;
        std::string failure;
    };
    const Case cases[] = {
        {keys({"F5"}), "Unsupported key: F5"},
        {keys({"a", "b", "pgup"}), "Unsupported key: pgup"},
        {keys({"a", "\xC3\x9F"}), "Unsupported key: \xC3\x9F"},  // sharp s is SS: no such key
        {keys({"a", ""}), "Unsupported key: "},
        {keys({"cmd", "Cmd+C"}), "Unsupported key: Cmd+C"},
        {Json{{"keys", "a"}}, "keys required"},
        {keys({"a", nullptr}), "keys required"},
        {keys({"a", 1}), "keys required"},
        {Json::object(), "keys required"},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        EXPECT_EQ(world.carryOut(keypressAction, c.action), c.failure) << c.action;
        EXPECT_EQ(world.desktop.transcript(), "") << c.action;
    }
}

TEST(Keypress, WhatIsPostedWhenAStepFails) {
    struct Case {
        const char* what;
        Script script;
        std::string failure;
        std::string transcript;
        Nanos endsAt;
    };
    const Case cases[] = {
        {"focus lost before the second of three keys",
         [](InputDesktop& w) { w.loseFocusAt(200ms); }, lostFocus,
         "t=0.000 key-down 0 flags=0x100000\n"
         "t=0.120 key-up 0 flags=0x100000\n",
         240ms},
        {"the second key-down could not be built: its key-up is not posted",
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [](const MemoryEventData& e) {
                 return e.keyDown && e.virtualKey == 1;
             };
         },
         notBuilt,
         "t=0.000 key-down 0 flags=0x100000\n"
         "t=0.120 key-up 0 flags=0x100000\n",
         240ms},
        {"key-ups that could not be built are skipped and their pauses kept",
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [](const MemoryEventData& e) { return !e.keyDown; };
         },
         "",
         "t=0.000 key-down 0 flags=0x100000\n"
         "t=0.240 key-down 1 flags=0x100000\n"
         "t=0.480 key-down 2 flags=0x100000\n",
         720ms},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        c.script(world);
        EXPECT_EQ(world.carryOut(keypressAction, keys({"cmd", "a", "s", "d"})), c.failure)
            << c.what;
        EXPECT_EQ(world.desktop.transcript(), c.transcript) << c.what;
        EXPECT_EQ(world.desktop.now(), c.endsAt) << c.what;
    }
}

}  // namespace
}  // namespace quorvel
