#include "InputTest.h"
#include "input/Actions.h"

namespace quorvel {
namespace {

Json text(Json value) {
    return Json{{"type", "type"}, {"text", std::move(value)}};
}

TEST(Typing, EachCharacterIsOneKeyDownCarryingAllItsCodeUnits) {
    struct Case {
        const char* what;
        const char* text;
        std::string transcript;
    };
    const Case cases[] = {
        {"two letters", "ab",
         "t=0.000 key-down 0 flags=0x0 units=0061\n"
         "t=0.005 key-up 0 flags=0x0\n"
         "t=0.005 key-down 0 flags=0x0 units=0062\n"
         "t=0.010 key-up 0 flags=0x0\n"},
        {"capitals and symbols carry no Shift", "A!",
         "t=0.000 key-down 0 flags=0x0 units=0041\n"
         "t=0.005 key-up 0 flags=0x0\n"
         "t=0.005 key-down 0 flags=0x0 units=0021\n"
         "t=0.010 key-up 0 flags=0x0\n"},
        {"a letter and a combining accent", "e\xCC\x81",
         "t=0.000 key-down 0 flags=0x0 units=0065,0301\n"
         "t=0.005 key-up 0 flags=0x0\n"},
        {"two emoji joined by a zero-width joiner", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9",
         "t=0.000 key-down 0 flags=0x0 units=D83D,DC68,200D,D83D,DC69\n"
         "t=0.005 key-up 0 flags=0x0\n"},
        {"two flags", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA",
         "t=0.000 key-down 0 flags=0x0 units=D83C,DDEB,D83C,DDF7\n"
         "t=0.005 key-up 0 flags=0x0\n"
         "t=0.005 key-down 0 flags=0x0 units=D83C,DDE9,D83C,DDEA\n"
         "t=0.010 key-up 0 flags=0x0\n"},
        {"CR LF", "\r\n",
         "t=0.000 key-down 0 flags=0x0 units=000D,000A\n"
         "t=0.005 key-up 0 flags=0x0\n"},
        {"a Hangul syllable written as jamo", "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB",
         "t=0.000 key-down 0 flags=0x0 units=1112,1161,11AB\n"
         "t=0.005 key-up 0 flags=0x0\n"},
        {"empty text: nothing", "", ""},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        EXPECT_EQ(world.carryOut(typeAction, text(c.text)), "") << c.what;
        EXPECT_EQ(world.desktop.transcript(), c.transcript) << c.what;
        if (c.transcript.empty()) {
            EXPECT_EQ(world.desktop.frontmostQueries, 0) << c.what;
        }
    }
}

TEST(Typing, WhatIsTypedWhenAStepFails) {
    struct Case {
        const char* what;
        Json action;
        Script script;
        std::string failure;
        std::string transcript;
    };
    const Case cases[] = {
        {"no text", Json{{"type", "type"}}, noScript, "text required", ""},
        {"text as a number", text(12), noScript, "text required", ""},
        {"text as an array", text(Json::array({"a"})), noScript, "text required", ""},
        {"focus lost after the third character", text("abcd"),
         [](InputDesktop& w) { w.loseFocusAt(12ms); }, lostFocus,
         "t=0.000 key-down 0 flags=0x0 units=0061\n"
         "t=0.005 key-up 0 flags=0x0\n"
         "t=0.005 key-down 0 flags=0x0 units=0062\n"
         "t=0.010 key-up 0 flags=0x0\n"
         "t=0.010 key-down 0 flags=0x0 units=0063\n"
         "t=0.015 key-up 0 flags=0x0\n"},
        {"cancelled mid-text", text("ab"),
         [](InputDesktop& w) { w.desktop.raiseCancellationAt(1ms, w.flag); }, cancelled,
         "t=0.000 key-down 0 flags=0x0 units=0061\n"
         "t=0.005 key-up 0 flags=0x0\n"},
        {"the second key-down could not be built", text("abc"),
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [downs = 0](const MemoryEventData& e) mutable {
                 return e.keyDown && ++downs == 2;
             };
         },
         notBuilt,
         "t=0.000 key-down 0 flags=0x0 units=0061\n"
         "t=0.005 key-up 0 flags=0x0\n"},
        {"key-ups that could not be built are skipped", text("ab"),
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [](const MemoryEventData& e) { return !e.keyDown; };
         },
         "",
         "t=0.000 key-down 0 flags=0x0 units=0061\n"
         "t=0.005 key-down 0 flags=0x0 units=0062\n"},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        c.script(world);
        EXPECT_EQ(world.carryOut(typeAction, c.action), c.failure) << c.what;
        EXPECT_EQ(world.desktop.transcript(), c.transcript) << c.what;
    }
}

TEST(Typing, ARunOfCharactersThePlatformHandsOverWholeIsOneKeyDownInItsPlace) {
    struct Case {
        const char* what;
        const char* text;
        std::string transcript;
    };
    // Here every character beyond ASCII is handed over whole.
    const Case cases[] = {
        {"runs between keys, order kept", "a\xC3\xA9\xE6\x97\xA5 b\xF0\x9F\x98\x80",
         "t=0.000 key-down 0 flags=0x0 units=0061\n"
         "t=0.005 key-up 0 flags=0x0\n"
         "t=0.005 key-down 0 flags=0x0 units=00E9,65E5\n"
         "t=0.010 key-up 0 flags=0x0\n"
         "t=0.010 key-down 0 flags=0x0 units=0020\n"
         "t=0.015 key-up 0 flags=0x0\n"
         "t=0.015 key-down 0 flags=0x0 units=0062\n"
         "t=0.020 key-up 0 flags=0x0\n"
         "t=0.020 key-down 0 flags=0x0 units=D83D,DE00\n"
         "t=0.025 key-up 0 flags=0x0\n"},
        {"the whole text one run", "\xE6\x97\xA5\xE6\x9C\xAC",
         "t=0.000 key-down 0 flags=0x0 units=65E5,672C\n"
         "t=0.005 key-up 0 flags=0x0\n"},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        world.desktop.handedOverWhole = [](std::u16string_view character) {
            return character[0] > 0x7f;
        };
        EXPECT_EQ(world.carryOut(typeAction, text(c.text)), "") << c.what;
        EXPECT_EQ(world.desktop.transcript(), c.transcript) << c.what;
    }
}

TEST(Typing, AHandOverCutShortByCancellationSaysCancelledNotInexact) {
    InputDesktop world;
    world.desktop.fallShort = [&world](const MemoryEventData&) {
        world.flag = 1;  // raised while the platform waited inside the post
        return true;
    };
    EXPECT_EQ(world.carryOut(typeAction, text("a")), cancelled);
}

TEST(Typing, ACharacterThePlatformCouldNotTypeEndsTheTextSayingInputMayHaveBeenSent) {
    InputDesktop world;
    world.desktop.fallShort = [](const MemoryEventData& event) {
        return event.text == std::u16string(u"b");
    };
    EXPECT_EQ(world.carryOut(typeAction, text("abc")),
              "Some keys could not be typed exactly; input may have been sent. Observe again "
              "before retrying.");
    EXPECT_EQ(world.desktop.transcript(),
              "t=0.000 key-down 0 flags=0x0 units=0061\n"
              "t=0.005 key-up 0 flags=0x0\n"
              "t=0.005 key-down 0 flags=0x0 units=0062\n");
}

}  // namespace
}  // namespace quorvel
