// "move", "click" and "double_click": one validated position, a pointer move there, then for
// clicks one or two press/release pairs of the chosen button.

#include "input/Actions.h"
#include "input/PointerMove.h"
#include "input/Post.h"
#include "target/Point.h"

namespace quorvel {

namespace {

struct ButtonEvents {
    MouseButton button;
    MouseEventType down;
    MouseEventType up;
};

// Exactly "right" selects the right button; anything else, or nothing, the left one.
ButtonEvents buttonOf(const Json& action) {
    auto button = action.find("button");
    if (button != action.end() && button->is_string() && *button == "right") {
        return {MouseButton::Right, MouseEventType::RightDown, MouseEventType::RightUp};
    }
    return {MouseButton::Left, MouseEventType::LeftDown, MouseEventType::LeftUp};
}

void clickAt(Batch& batch, const Json& action, int clickCount) {
    ScreenPoint position = point(batch, action);
    movePointerTo(batch, position);
    ButtonEvents button = buttonOf(action);
    Platform& platform = batch.platform();
    for (int clickState = 1; clickState <= clickCount; ++clickState) {
        // Both halves exist before the press goes out, so a posted press always has its release
        // ready to follow.
        EventHandle down = platform.makeMouseEvent(button.down, position, button.button);
        EventHandle up = platform.makeMouseEvent(button.up, position, button.button);
        for (EventHandle* event : {&down, &up}) {
            if (*event) {
                platform.setClickState(**event, clickState);
            }
        }
        postPress(batch, down, position, inputPause);
        postDirect(batch, up);
        settle(batch.runtime, inputPause);
    }
}

}  // namespace

void moveAction(Batch& batch, const Json& action) {
    movePointerTo(batch, point(batch, action));
}

void clickAction(Batch& batch, const Json& action) {
    clickAt(batch, action, 1);
}

void doubleClickAction(Batch& batch, const Json& action) {
    clickAt(batch, action, 2);
}

}  // namespace quorvel
