#include "observe/Attr.h"

#include <cmath>

namespace quorvel {

std::optional<AttributeValue> attr(Runtime& runtime, const Element& element,
                                   std::string_view name) {
    // The flag is tested before the clock, and neither test touches the element.
    if (runtime.pastDeadlineOrCancelled()) {
        return std::nullopt;
    }
    runtime.platform.setMessagingTimeout(element, messagingTimeoutSeconds);
    return runtime.platform.copyAttribute(element, name);
}

std::optional<Json> geometrySummary(const AttributeValue& value, Geometry asked) {
    const GeometryValue* geometry = value.as<GeometryValue>();
    if (!geometry || !geometry->extracted) {
        return std::nullopt;
    }
    double a = geometry->first;
    double b = geometry->second;
    if (!std::isfinite(a) || !std::isfinite(b)) {
        return std::nullopt;
    }
    switch (asked) {
        case Geometry::Position:
            if (geometry->kind != GeometryKind::Point) {
                return std::nullopt;
            }
            return Json{{"x", a}, {"y", b}};
        case Geometry::Size:
            if (geometry->kind != GeometryKind::Size || a < 0 || b < 0) {
                return std::nullopt;
            }
            return Json{{"width", a}, {"height", b}};
    }
    return std::nullopt;
}

bool isElement(const std::optional<AttributeValue>& value) {
    return value && value->as<ElementHandle>() && *value->as<ElementHandle>();
}

}  // namespace quorvel
