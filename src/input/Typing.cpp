// "type": every user-perceived character (extended grapheme cluster) of the text becomes one
// key-down that carries all its UTF-16 code units, on virtual key 0 with no flags, and a key-up.

#include <string>

#include "input/Actions.h"
#include "input/Post.h"
#include "main/Failure.h"
#include "main/Unicode.h"

namespace quorvel {

void typeAction(Batch& batch, const Json& action) {
    auto text = action.find("text");
    if (text == action.end() || !text->is_string()) {
        fail("text required");
    }
    Platform& platform = batch.platform();
    for (const std::u16string& character : graphemeClusters(text->get_ref<const std::string&>())) {
        EventHandle down = platform.makeKeyboardEvent(0, true);
        if (down) {
            platform.setFlags(*down, 0);
            platform.setUnicodeString(*down, character);
        }
        // Deadline, cancellation and focus are tested before every character.
        post(batch, down, typingPause);
        EventHandle up = platform.makeKeyboardEvent(0, false);
        if (up) {
            platform.setFlags(*up, 0);
        }
        postDirect(batch, up);
    }
}

}  // namespace quorvel
