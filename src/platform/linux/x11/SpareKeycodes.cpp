#include "platform/linux/x11/SpareKeycodes.h"

#include <algorithm>

namespace quorvel::x11 {

std::vector<KeycodeRun> keycodeRuns(std::vector<xcb_keycode_t> keycodes) {
    std::sort(keycodes.begin(), keycodes.end());
    keycodes.erase(std::unique(keycodes.begin(), keycodes.end()), keycodes.end());
    std::vector<KeycodeRun> runs;
    for (xcb_keycode_t keycode : keycodes) {
        if (!runs.empty() && runs.back().first + runs.back().count == keycode) {
            ++runs.back().count;
        } else {
            runs.push_back({keycode, 1});
        }
    }
    return runs;
}

std::vector<xcb_keycode_t> chooseSpareKeycodes(const std::vector<xcb_keycode_t>& spare,
                                               std::size_t count) {
    std::vector<KeycodeRun> runs = keycodeRuns(spare);
    std::vector<xcb_keycode_t> chosen;
    auto take = [&](std::vector<KeycodeRun>::iterator run, std::size_t keys) {
        for (std::size_t index = 0; index < keys; ++index) {
            chosen.push_back(static_cast<xcb_keycode_t>(run->first + index));
        }
        runs.erase(run);
    };
    while (chosen.size() < count && !runs.empty()) {
        std::size_t remaining = count - chosen.size();
        auto ending = runs.end();
        for (auto run = runs.begin(); run != runs.end(); ++run) {
            if (run->count >= remaining && (ending == runs.end() || run->count < ending->count)) {
                ending = run;
            }
        }
        if (ending != runs.end()) {
            take(ending, remaining);
        } else {
            auto longest = std::max_element(
                runs.begin(), runs.end(),
                [](const KeycodeRun& a, const KeycodeRun& b) { return a.count < b.count; });
            take(longest, longest->count);
        }
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

bool rowIsEmpty(std::span<const Keysym> row) {
    return std::all_of(row.begin(), row.end(), [](Keysym keysym) { return keysym == 0; });
}

bool rowHoldsOnly(std::span<const Keysym> row, const std::array<Keysym, 2>& levels) {
    return !rowIsEmpty(row) && std::all_of(row.begin(), row.end(), [&](Keysym keysym) {
        return keysym == 0 || keysym == levels[0] || keysym == levels[1];
    });
}

}  // namespace quorvel::x11
