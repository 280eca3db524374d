#include "platform/linux/atspi/AccessibleNode.h"

#include <string_view>

namespace quorvel::atspi {

std::uint32_t interfaceBit(std::string_view name) {
    if (name == "org.a11y.atspi.Component") {
        return ComponentInterface;
    }
    if (name == "org.a11y.atspi.Text") {
        return TextInterface;
    }
    if (name == "org.a11y.atspi.Value") {
        return ValueInterface;
    }
    if (name == "org.a11y.atspi.Collection") {
        return CollectionInterface;
    }
    return 0;
}

}  // namespace quorvel::atspi
