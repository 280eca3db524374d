#include "platform/linux/atspi/AttributeConversion.h"

#include <climits>

namespace quorvel::atspi {

bool onScreen(bool showing, const Extents& extents) {
    return showing && extents.x != INT_MIN && extents.y != INT_MIN;
}

AttributeValue positionValue(const Extents& extents) {
    return AttributeValue{
        GeometryValue{GeometryKind::Point, true, double(extents.x), double(extents.y)}};
}

AttributeValue sizeValue(const Extents& extents) {
    return AttributeValue{
        GeometryValue{GeometryKind::Size, true, double(extents.width), double(extents.height)}};
}

std::optional<AttributeValue> stateValue(ValueSource source, const AccessibleNode& node) {
    switch (source) {
        case ValueSource::Checked: {
            bool on = node.has(State::Checked) ||
                      (node.role == static_cast<std::uint32_t>(Role::ToggleButton) &&
                       node.has(State::Pressed));
            return AttributeValue{std::int64_t{on ? 1 : 0}};
        }
        case ValueSource::Selected:
            return AttributeValue{std::int64_t{node.has(State::Selected) ? 1 : 0}};
        case ValueSource::None:
        case ValueSource::Text:
        case ValueSource::Number:
            return std::nullopt;
    }
    return std::nullopt;
}

std::string roleName(const AccessibleNode& node, bool hasTextChild) {
    RoleContext context;
    context.multiLine = node.has(State::MultiLine);
    context.hasTextChild = hasTextChild;
    context.editable = node.has(State::Editable);
    return std::string(axRoleName(node.role, context));
}

std::string withoutObjectPlaceholders(std::string text) {
    static constexpr std::string_view placeholder = "\xEF\xBF\xBC";  // U+FFFC in UTF-8
    for (std::size_t found = text.find(placeholder); found != std::string::npos;
         found = text.find(placeholder, found)) {
        text.erase(found, placeholder.size());
    }
    return text;
}

}  // namespace quorvel::atspi
