// "keypress": modifier names become flags carried by every key event of the action; the other
// names are pressed and released one after the other, in request order.

#include <string>
#include <vector>

#include "input/Actions.h"
#include "input/KeyCodes.h"
#include "input/Post.h"
#include "main/Failure.h"
#include "main/Unicode.h"

namespace quorvel {

namespace {

struct Chord {
    std::uint64_t flags = 0;
    std::vector<std::uint16_t> keys;
};

bool isListOfStrings(const Json& keys) {
    if (!keys.is_array()) {
        return false;
    }
    for (const Json& name : keys) {
        if (!name.is_string()) {
            return false;
        }
    }
    return true;
}

// Every name is resolved before the first event, so one unknown name means no input at all.
Chord resolveChord(const Json& action) {
    auto keys = action.find("keys");
    if (keys == action.end() || !isListOfStrings(*keys)) {
        fail("keys required");
    }
    Chord chord;
    for (const Json& key : *keys) {
        const std::string& name = key.get_ref<const std::string&>();
        // Locale-independent full case mapping: "ſhift" (long s) is SHIFT and "rıght" (dotless i)
        // is RIGHT, whatever language the machine speaks.
        std::string upper = upperCase(name);
        if (std::optional<std::uint64_t> flag = modifierFlag(upper)) {
            chord.flags |= *flag;
        } else if (std::optional<std::uint16_t> code = keyCode(upper)) {
            chord.keys.push_back(*code);
        } else {
            fail("Unsupported key: " + name);
        }
    }
    return chord;
}

}  // namespace

void keypressAction(Batch& batch, const Json& action) {
    Chord chord = resolveChord(action);
    Platform& platform = batch.platform();
    for (std::uint16_t code : chord.keys) {
        EventHandle down = platform.makeKeyboardEvent(code, true);
        EventHandle up = platform.makeKeyboardEvent(code, false);
        for (EventHandle* event : {&down, &up}) {
            if (*event) {
                platform.setFlags(**event, chord.flags);
            }
        }
        post(batch, down, inputPause);
        postDirect(batch, up);
        settle(batch.runtime, inputPause);
    }
}

}  // namespace quorvel
