#include "target/Point.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "main/Failure.h"
#include "target/FocusGuard.h"
#include "target/WindowList.h"

namespace quorvel {

namespace {

struct Rect {
    double minX, minY, maxX, maxY;

    // Minimum edges inside, maximum edges outside.
    bool contains(ScreenPoint p) const {
        return p.x >= minX && p.x < maxX && p.y >= minY && p.y < maxY;
    }
};

std::optional<double> numberAt(const Json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_number()) {
        return std::nullopt;
    }
    return found->get<double>();
}

// The frame of a record, or none when its `bounds` does not describe a rectangle.
std::optional<Rect> readBounds(const Json& record) {
    if (!record.is_object()) {
        return std::nullopt;
    }
    auto bounds = record.find("bounds");
    if (bounds == record.end() || !bounds->is_object()) {
        return std::nullopt;
    }
    auto x = numberAt(*bounds, "X");
    auto y = numberAt(*bounds, "Y");
    auto width = numberAt(*bounds, "Width");
    auto height = numberAt(*bounds, "Height");
    if (!x || !y || !width || !height) {
        return std::nullopt;
    }
    // A negative size extends the other way from the origin, as the window server means it.
    return Rect{std::min(*x, *x + *width), std::min(*y, *y + *height), std::max(*x, *x + *width),
                std::max(*y, *y + *height)};
}

// The record of the topmost window at `position`, or null.
const Json* windowAt(const Json& windowRecords, ScreenPoint position) {
    if (!windowRecords.is_array()) {
        return nullptr;
    }
    for (const Json& record : windowRecords) {
        std::optional<Rect> frame = readBounds(record);
        if (frame && frame->contains(position)) {
            return &record;
        }
    }
    return nullptr;
}

std::optional<double> finiteNumberAt(const Json& action, const char* key) {
    std::optional<double> value = numberAt(action, key);
    if (!value || !std::isfinite(*value)) {
        return std::nullopt;
    }
    return value;
}

Json fieldOr(const Json& record, const char* key, Json fallback) {
    auto found = record.find(key);
    return found != record.end() ? *found : fallback;
}

// Whether `position` lies on a display; with no displays known, the window list alone decides.
bool onSomeDisplay(const std::vector<ScreenRect>& displays, ScreenPoint position) {
    if (displays.empty()) {
        return true;
    }
    return std::any_of(displays.begin(), displays.end(), [&](const ScreenRect& display) {
        return Rect{display.x, display.y, display.x + display.width, display.y + display.height}
            .contains(position);
    });
}

// What the pointer would find at `position`: off every display it finds no window at all,
// whatever window extends there, because the system would move it onto a display edge.
struct Surroundings {
    Json windows;
    bool onDisplay = true;
};

Surroundings surroundings(Platform& platform, ScreenPoint position) {
    Surroundings around;
    around.windows = windows(platform, AllLayers::Yes);
    around.onDisplay = onSomeDisplay(platform.displayBounds(), position);
    return around;
}

bool targetOwns(const Surroundings& around, ScreenPoint position, Pid pid) {
    return around.onDisplay && ownsTopmostPoint(around.windows, position, pid);
}

// The window in the way as compact JSON of its pid, layer and bounds; "{}" when nothing covers
// the position or the summary cannot be written.
std::string blockingWindowText(const Surroundings& around, ScreenPoint position) {
    const Json* blocker = around.onDisplay ? windowAt(around.windows, position) : nullptr;
    Json summary = Json::object();
    if (blocker) {
        summary["pid"] = fieldOr(*blocker, "pid", 0);
        summary["layer"] = fieldOr(*blocker, "layer", 0);
        summary["bounds"] = fieldOr(*blocker, "bounds", Json::object());
    }
    try {
        return summary.dump();
    } catch (const Json::exception&) {
        return "{}";  // a text value that is not valid UTF-8
    }
}

[[noreturn]] void failBlocked(const Surroundings& around, ScreenPoint position) {
    fail("Coordinates are not on the target process's topmost visible window. Blocking window: " +
         blockingWindowText(around, position) + ". Observe again before retrying.");
}

}  // namespace

bool ownsTopmostPoint(const Json& windowRecords, ScreenPoint position, Pid pid) {
    const Json* topmost = windowAt(windowRecords, position);
    if (!topmost) {
        return false;
    }
    auto owner = topmost->find("pid");
    return owner != topmost->end() && isPid(*owner, pid);
}

ScreenPoint point(Batch& batch, const Json& action) {
    std::optional<double> x = finiteNumberAt(action, "x");
    std::optional<double> y = finiteNumberAt(action, "y");
    if (!x || !y) {
        fail("x and y required");
    }
    if (!batch.targetPid) {
        fail("pid required");  // admission refuses pointer actions without a pid
    }
    const ScreenPoint position{*x, *y};
    Platform& platform = batch.platform();
    Surroundings around = surroundings(platform, position);
    for (;;) {
        if (targetOwns(around, position, *batch.targetPid)) {
            return position;
        }
        if (platform.now() >= batch.pointWaitUntil) {
            break;
        }
        checkFocus(batch.runtime, *batch.targetPid);
        platform.sleep(pointWaitStep);
        around = surroundings(platform, position);
    }
    failBlocked(around, position);
}

void confirmTopmostPoint(Batch& batch, ScreenPoint position) {
    if (!batch.targetPid) {
        fail("pid required");
    }
    Surroundings around = surroundings(batch.platform(), position);
    if (!targetOwns(around, position, *batch.targetPid)) {
        failBlocked(around, position);
    }
}

}  // namespace quorvel
