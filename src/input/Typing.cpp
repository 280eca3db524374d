// "type": every user-perceived character (extended grapheme cluster) of the text becomes one
// key-down that carries all its UTF-16 code units, on virtual key 0 with no flags, and a key-up.
// A run of characters that the platform hands over whole rather than key by key is one key-down
// carrying the whole run.

#include <string>
#include <vector>

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
    std::vector<std::u16string> pieces;
    bool lastByKeys = true;
    for (std::u16string& character : graphemeClusters(text->get_ref<const std::string&>())) {
        bool byKeys = platform.typedByKeys(character);
        if (!byKeys && !lastByKeys) {
            pieces.back() += character;
        } else {
            pieces.push_back(std::move(character));
        }
        lastByKeys = byKeys;
    }
    for (const std::u16string& character : pieces) {
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
