#include "input/KeyCodes.h"

namespace quorvel {

namespace {

struct NamedModifier {
    std::string_view name;
    std::uint64_t flag;
};

constexpr NamedModifier modifiers[] = {
    {"CMD", commandFlag},   {"COMMAND", commandFlag},  {"META", commandFlag},
    {"SUPER", commandFlag}, {"CTRL", controlFlag},     {"CONTROL", controlFlag},
    {"ALT", alternateFlag}, {"OPTION", alternateFlag}, {"SHIFT", shiftFlag},
};

}  // namespace

std::optional<std::uint64_t> modifierFlag(std::string_view upperName) {
    for (const NamedModifier& modifier : modifiers) {
        if (modifier.name == upperName) {
            return modifier.flag;
        }
    }
    return std::nullopt;
}

std::optional<std::uint16_t> keyCode(std::string_view upperName) {
    for (const NamedKey& key : keyCodes) {
        if (key.name == upperName) {
            return key.code;
        }
    }
    return std::nullopt;
}

}  // namespace quorvel
