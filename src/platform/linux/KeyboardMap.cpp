#include "platform/linux/KeyboardMap.h"

#include <algorithm>

#include "platform/linux/MonotonicClock.h"

namespace quorvel::x11 {

bool KeyboardMap::load() {
    if (loaded_) {
        return perKeycode_ > 0;
    }
    loaded_ = true;
    if (!connection_.usable()) {
        return false;
    }
    const xcb_setup_t* setup = xcb_get_setup(connection_.xcb());
    minKeycode_ = setup->min_keycode;
    auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    ReplyPtr<xcb_get_keyboard_mapping_reply_t> reply =
        connection_.reply<xcb_get_keyboard_mapping_reply_t>(
            xcb_get_keyboard_mapping(connection_.xcb(), minKeycode_, count));
    if (!reply || reply->keysyms_per_keycode == 0) {
        return false;
    }
    perKeycode_ = reply->keysyms_per_keycode;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
    original_.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
    current_ = original_;
    for (std::size_t index = 0; index < original_.size() / perKeycode_; ++index) {
        auto first = original_.begin() + static_cast<std::ptrdiff_t>(index * perKeycode_);
        if (std::all_of(first, first + perKeycode_, [](Keysym keysym) { return keysym == 0; })) {
            spare_.push_back(static_cast<xcb_keycode_t>(minKeycode_ + index));
        }
    }
    return true;
}

std::vector<Keysym>::const_iterator KeyboardMap::row(xcb_keycode_t keycode,
                                                     const std::vector<Keysym>& map) const {
    return map.begin() + static_cast<std::ptrdiff_t>((keycode - minKeycode_) * perKeycode_);
}

std::optional<KeyPosition> KeyboardMap::find(Keysym keysym) {
    if (!load()) {
        return std::nullopt;
    }
    for (Binding& binding : bound_) {
        if (binding.keysym == keysym) {
            binding.lastUse = ++uses_;
            return KeyPosition{binding.keycode, false};
        }
    }
    std::size_t rows = current_.size() / perKeycode_;
    for (int level = 0; level < std::min<int>(2, perKeycode_); ++level) {
        for (std::size_t index = 0; index < rows; ++index) {
            if (current_[index * perKeycode_ + static_cast<std::size_t>(level)] == keysym) {
                return KeyPosition{static_cast<xcb_keycode_t>(minKeycode_ + index), level == 1};
            }
        }
    }
    return std::nullopt;
}

bool KeyboardMap::hasAll(const std::vector<Keysym>& keysyms) {
    return std::all_of(keysyms.begin(), keysyms.end(),
                       [this](Keysym keysym) { return find(keysym).has_value(); });
}

void KeyboardMap::send(xcb_keycode_t first, xcb_keycode_t last, const std::vector<Keysym>& map) {
    auto begin = row(first, map);
    auto end = row(last, map) + perKeycode_;
    std::vector<xcb_keysym_t> rows(begin, end);
    xcb_change_keyboard_mapping(connection_.xcb(), static_cast<std::uint8_t>(last - first + 1),
                                first, perKeycode_, rows.data());
    // The next key event must find the new rows in place.
    connection_.sync();
}

void KeyboardMap::bind(const std::vector<Keysym>& keysyms, Nanos lastKeyEvent) {
    if (!load() || spare_.empty()) {
        return;
    }
    std::vector<Keysym> missing;
    for (Keysym keysym : keysyms) {
        if (!find(keysym) && std::find(missing.begin(), missing.end(), keysym) == missing.end()) {
            missing.push_back(keysym);
        }
    }
    if (missing.empty()) {
        return;
    }
    std::vector<xcb_keycode_t> free;
    for (xcb_keycode_t keycode : spare_) {
        bool used = std::any_of(bound_.begin(), bound_.end(),
                                [&](const Binding& binding) { return binding.keycode == keycode; });
        if (!used) {
            free.push_back(keycode);
        }
    }
    if (free.size() < missing.size() && !bound_.empty()) {
        // Reuse the keycodes used longest ago, once the applications are done with them; the
        // last key event goes out before the wait.
        connection_.flush();
        sleepUntil(lastKeyEvent + settleBeforeRebinding);
        std::sort(bound_.begin(), bound_.end(),
                  [](const Binding& a, const Binding& b) { return a.lastUse < b.lastUse; });
        while (free.size() < missing.size() && !bound_.empty()) {
            free.push_back(bound_.front().keycode);
            bound_.erase(bound_.begin());
        }
    }
    xcb_keycode_t lowest = 255;
    xcb_keycode_t highest = 0;
    for (std::size_t index = 0; index < missing.size() && index < free.size(); ++index) {
        xcb_keycode_t keycode = free[index];
        auto first = current_.begin() + (row(keycode, current_) - current_.cbegin());
        std::fill(first, first + perKeycode_, 0);
        // The keysym on both levels, so that a held Shift changes nothing.
        first[0] = missing[index];
        if (perKeycode_ > 1) {
            first[1] = missing[index];
        }
        bound_.push_back({keycode, missing[index], ++uses_});
        lowest = std::min(lowest, keycode);
        highest = std::max(highest, keycode);
    }
    if (lowest > highest) {
        return;
    }
    lowestChanged_ = std::min(lowestChanged_.value_or(lowest), lowest);
    highestChanged_ = std::max(highestChanged_.value_or(highest), highest);
    send(lowest, highest, current_);
}

void KeyboardMap::restore(Nanos lastKeyEvent) {
    if (!lowestChanged_ || !highestChanged_ || !connection_.usable()) {
        return;
    }
    connection_.flush();
    sleepUntil(lastKeyEvent + settleBeforeRebinding);
    send(*lowestChanged_, *highestChanged_, original_);
    current_ = original_;
    bound_.clear();
    lowestChanged_.reset();
    highestChanged_.reset();
}

}  // namespace quorvel::x11
