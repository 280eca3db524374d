#include "input/PointerMove.h"

#include "input/Post.h"

namespace quorvel {

void movePointerTo(Batch& batch, ScreenPoint position) {
    EventHandle moved =
        batch.platform().makeMouseEvent(MouseEventType::Moved, position, MouseButton::Left);
    post(batch, moved, inputPause);
}

}  // namespace quorvel
