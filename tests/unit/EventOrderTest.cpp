// When each event is built relative to what has been posted: the halves of a click or key pair
// exist before the press goes out (so a posted press always has its release ready), while a
// typed character's key-up is made only after its key-down was posted.

#include <vector>

#include "InputTest.h"
#include "input/Actions.h"

namespace quorvel {
namespace {

TEST(EventOrder, PairsAreBuiltBeforeTheirPressIsPosted) {
    struct Case {
        ActionCase action;
        Json object;
        std::vector<std::size_t> postedAtEachConstruction;
    };
    const Case cases[] = {
        {clickAction, {{"x", 1}, {"y", 1}}, {0, 1, 1}},
        {doubleClickAction, {{"x", 1}, {"y", 1}}, {0, 1, 1, 3, 3}},
        {keypressAction, {{"keys", {"a", "b"}}}, {0, 0, 2, 2}},
        {typeAction, {{"text", "ab"}}, {0, 1, 2, 3}},
        {dragAction, {{"path", {{{"x", 1}, {"y", 1}}}}}, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        std::vector<std::size_t> posted;
        world.desktop.refuseEvent = [&](const MemoryEventData&) {
            posted.push_back(world.desktop.events.size());
            return false;
        };
        EXPECT_EQ(world.carryOut(c.action, c.object), "") << c.object;
        EXPECT_EQ(posted, c.postedAtEachConstruction) << c.object;
    }
}

}  // namespace
}  // namespace quorvel
