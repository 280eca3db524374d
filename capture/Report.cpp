#include "capture/Report.h"

#include <nlohmann/json.hpp>

namespace quorvel::capture {

namespace {

// Keys in the order the callers read them, not sorted.
std::string line(const nlohmann::ordered_json& object) {
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string infoLine(const CapturePlan& plan) {
    return line({{"ok", true},
                 {"x", plan.area.x},
                 {"y", plan.area.y},
                 {"width", plan.area.width},
                 {"height", plan.area.height},
                 {"scale", plan.scale},
                 {"png_width", plan.pngWidth},
                 {"png_height", plan.pngHeight}});
}

std::string errorLine(std::string_view message) {
    return line({{"ok", false}, {"error", message}});
}

}  // namespace quorvel::capture
