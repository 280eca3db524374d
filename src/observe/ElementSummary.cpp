#include "observe/ElementSummary.h"

#include <cmath>
#include <optional>
#include <string_view>

#include "main/Unicode.h"
#include "observe/Attr.h"

namespace quorvel {

namespace {

// Converted alike, whichever attribute they are.
constexpr std::string_view summaryAttributes[] = {"AXRole", "AXTitle", "AXDescription", "AXValue",
                                                  "AXFocused"};

// Text cut to its first 1000 characters, a boolean, or a number of the kind it was read as.
std::optional<Json> plainValue(const AttributeValue& value) {
    if (const std::string* text = value.as<std::string>()) {
        // The cut also turns bytes that are not UTF-8 into U+FFFD, so the reply can be written.
        return Json(firstGraphemes(*text, summaryTextLimit));
    }
    if (const bool* flag = value.as<bool>()) {
        return Json(*flag);
    }
    if (const std::int64_t* integer = value.as<std::int64_t>()) {
        return Json(*integer);
    }
    if (const double* real = value.as<double>()) {
        // JSON has no NaN or infinity: such a number would be written as null.
        if (!std::isfinite(*real)) {
            return std::nullopt;
        }
        return Json(*real);
    }
    return std::nullopt;
}

void addGeometry(Runtime& runtime, const Element& element, std::string_view name, Geometry asked,
                 Json& summary) {
    std::optional<AttributeValue> value = attr(runtime, element, name);
    if (!value) {
        return;
    }
    if (std::optional<Json> record = geometrySummary(*value, asked)) {
        summary[std::string(name)] = std::move(*record);
    }
}

}  // namespace

Json elementSummary(Runtime& runtime, const Element& element) {
    Json summary = Json::object();
    for (std::string_view name : summaryAttributes) {
        std::optional<AttributeValue> value = attr(runtime, element, name);
        if (!value) {
            continue;
        }
        if (std::optional<Json> plain = plainValue(*value)) {
            summary[std::string(name)] = std::move(*plain);
        }
    }
    addGeometry(runtime, element, "AXPosition", Geometry::Position, summary);
    addGeometry(runtime, element, "AXSize", Geometry::Size, summary);
    return summary;
}

}  // namespace quorvel
