// "drag": the whole path is validated before the first event; then a move to the start, a left
// press there, a dragged move to every point of the path and a release at the last point reached.

#include "input/Drag.h"

#include <exception>

#include "input/Actions.h"
#include "input/PointerMove.h"
#include "input/Post.h"
#include "main/Failure.h"
#include "target/Point.h"

namespace quorvel {

namespace {

bool isPath(const Json& path) {
    if (!path.is_array() || path.empty()) {
        return false;
    }
    for (const Json& element : path) {
        if (!element.is_object()) {
            return false;
        }
    }
    return true;
}

}  // namespace

void dispatchDragPath(const std::vector<ScreenPoint>& path, ScreenPoint start,
                      const std::function<void(ScreenPoint)>& move,
                      const std::function<void(ScreenPoint)>& release) {
    ScreenPoint last = start;
    std::exception_ptr stepFailure;
    for (ScreenPoint next : path) {
        try {
            move(next);
        } catch (...) {
            // Kept until the button is up: a drag never ends with the button held.
            stepFailure = std::current_exception();
            break;
        }
        last = next;
    }
    release(last);
    if (stepFailure) {
        std::rethrow_exception(stepFailure);
    }
}

void dragAction(Batch& batch, const Json& action) {
    auto path = action.find("path");
    if (path == action.end() || !isPath(*path)) {
        fail("drag needs path");
    }
    std::vector<ScreenPoint> dragPoints;
    for (const Json& element : *path) {
        dragPoints.push_back(point(batch, element));
    }
    ScreenPoint start = point(batch, path->front());

    Platform& platform = batch.platform();
    movePointerTo(batch, start);
    EventHandle press = platform.makeMouseEvent(MouseEventType::LeftDown, start, MouseButton::Left);
    postPress(batch, press, start, inputPause);
    dispatchDragPath(
        dragPoints, start,
        [&](ScreenPoint next) {
            EventHandle dragged =
                platform.makeMouseEvent(MouseEventType::LeftDragged, next, MouseButton::Left);
            post(batch, dragged, inputPause);
        },
        [&](ScreenPoint last) {
            EventHandle released =
                platform.makeMouseEvent(MouseEventType::LeftUp, last, MouseButton::Left);
            postDirect(batch, released);
        });
}

}  // namespace quorvel
