// "scroll": a pointer move to the validated position, then one pixel scroll event carrying both
// amounts, negated, because the window server counts a positive vertical wheel as upwards.

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "input/Actions.h"
#include "input/PointerMove.h"
#include "input/Post.h"
#include "target/Point.h"

namespace quorvel {

namespace {

// The amount when it is a JSON number with an integral value that fits 64 bits (3.0 is 3);
// otherwise none, which counts as 0.
std::optional<std::int64_t> integralAmount(const Json& action, const char* key) {
    auto amount = action.find(key);
    if (amount == action.end() || !amount->is_number()) {
        return std::nullopt;
    }
    if (amount->is_number_unsigned()) {
        auto value = amount->get<std::uint64_t>();
        if (value > std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(value);
    }
    if (amount->is_number_integer()) {
        return amount->get<std::int64_t>();
    }
    double value = amount->get<double>();
    constexpr double twoToThe63 = 9223372036854775808.0;
    if (!std::isfinite(value) || std::trunc(value) != value || value < -twoToThe63 ||
        value >= twoToThe63) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(value);
}

// The wheel value for an amount: its negation, clamped to what the event can carry, so an
// amount too large to express scrolls as far as the event allows in the same direction instead
// of wrapping around.
std::int32_t wheelFor(std::optional<std::int64_t> amount) {
    constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max();
    if (!amount) {
        return 0;
    }
    // Compared before negating: the negation of the smallest 64-bit value does not exist.
    if (*amount > -lowest) {
        return static_cast<std::int32_t>(lowest);
    }
    if (*amount < -highest) {
        return static_cast<std::int32_t>(highest);
    }
    return static_cast<std::int32_t>(-*amount);
}

}  // namespace

void scrollAction(Batch& batch, const Json& action) {
    ScreenPoint position = point(batch, action);
    movePointerTo(batch, position);
    std::int32_t horizontal = wheelFor(integralAmount(action, "scroll_x"));
    std::int32_t vertical = wheelFor(integralAmount(action, "scroll_y"));
    // The event has no position of its own: it scrolls where the move just put the pointer.
    EventHandle scroll = batch.platform().makePixelScrollEvent(vertical, horizontal);
    postPress(batch, scroll, position, inputPause);
}

}  // namespace quorvel
