#include "InputTest.h"
#include "input/Post.h"

namespace quorvel {
namespace {

EventHandle moveEvent(MemoryDesktop& desktop) {
    return desktop.makeMouseEvent(MouseEventType::Moved, {10, 20}, MouseButton::Left);
}

TEST(Post, TheGuardedPathReportsTheFirstReasonNotToPost) {
    enum class Event { Built, Missing };
    struct Case {
        const char* what;
        Script script;
        Event event;
        std::string failure;
    };
    const Case cases[] = {
        {"all well", noScript, Event::Built, ""},
        {"no event while all is well", noScript, Event::Missing, notBuilt},
        {"no target pid, even past the deadline",
         [](InputDesktop& w) {
             w.batch.targetPid.reset();
             w.passDeadline();
         },
         Event::Built, "pid required"},
        {"deadline before cancellation and focus",
         [](InputDesktop& w) {
             w.passDeadline();
             w.flag = 1;
             w.desktop.frontmost = InputDesktop::other;
         },
         Event::Missing, pastDeadline},
        {"cancellation before focus",
         [](InputDesktop& w) {
             w.flag = 1;
             w.desktop.frontmost = InputDesktop::other;
         },
         Event::Missing, cancelled},
        {"lost focus before the missing event",
         [](InputDesktop& w) { w.desktop.frontmost = InputDesktop::other; }, Event::Missing,
         lostFocus},
        {"no frontmost application", [](InputDesktop& w) { w.desktop.frontmost.reset(); },
         Event::Built, lostFocus},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        c.script(world);
        Nanos before = world.desktop.now();
        EventHandle event = c.event == Event::Built ? moveEvent(world.desktop) : nullptr;
        EXPECT_EQ(failureOf([&] { post(world.batch, event, 30ms); }), c.failure) << c.what;
        if (c.failure.empty()) {
            EXPECT_EQ(world.desktop.transcript(), "t=0.000 moved (10,20)\n") << c.what;
            EXPECT_EQ(world.desktop.now() - before, 30ms) << c.what;
        } else {
            EXPECT_EQ(world.desktop.transcript(), "") << c.what;
            EXPECT_EQ(world.desktop.now(), before) << c.what;
        }
    }
}

TEST(Post, TheDirectPathPostsWithoutAnyCheckOrPauseAndSkipsAMissingEvent) {
    InputDesktop world;
    world.passDeadline();
    world.flag = 1;
    world.desktop.frontmost.reset();
    world.batch.targetPid.reset();
    int focusChecks = world.desktop.frontmostQueries;
    postDirect(world.batch, moveEvent(world.desktop));
    postDirect(world.batch, nullptr);
    EXPECT_EQ(world.desktop.transcript(), "t=240.000 moved (10,20)\n");
    EXPECT_EQ(world.desktop.now(), 240s);
    EXPECT_EQ(world.desktop.frontmostQueries, focusChecks);
}

TEST(Post, ASignalDuringAPauseIsNoticedByTheNextGuardedPostOnly) {
    InputDesktop world;
    world.desktop.raiseCancellationAt(50ms, world.flag);
    post(world.batch, moveEvent(world.desktop), inputPause);
    postDirect(world.batch, moveEvent(world.desktop));
    EXPECT_EQ(failureOf([&] { post(world.batch, moveEvent(world.desktop), 0ns); }), cancelled);
    EXPECT_EQ(world.desktop.transcript(), "t=0.000 moved (10,20)\nt=0.120 moved (10,20)\n");
}

}  // namespace
}  // namespace quorvel
