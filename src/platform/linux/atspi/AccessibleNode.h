#pragma once

// What the driver knows of one accessible object of an application, as AT-SPI describes it:
// its role number, name, description, states, interfaces and place among its siblings.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::atspi {

// AT-SPI state numbers (bit positions in the 64-bit state set) that the driver reads.
enum class State : std::uint32_t {
    Active = 1,
    Checked = 4,
    Editable = 7,
    Focused = 12,
    MultiLine = 17,
    Pressed = 20,
    Selected = 23,
    Showing = 25,
    SingleLine = 26,
    Visible = 30,
    ManagesDescendants = 31,
};

// The interfaces of an object that the driver calls, as bits.
enum Interface : std::uint32_t {
    ComponentInterface = 1u << 0,
    TextInterface = 1u << 1,
    ValueInterface = 1u << 2,
    CollectionInterface = 1u << 3,
};

// The interface bit for a D-Bus interface name; 0 for one the driver does not call.
std::uint32_t interfaceBit(std::string_view name);

struct AccessibleNode {
    std::uint32_t role = 0;
    std::string name;
    std::string description;
    std::uint64_t states = 0;
    std::uint32_t interfaces = 0;
    // The parent's object path on the same bus; empty when unknown or at the root.
    std::string parentPath;
    // -1 when the application does not say.
    std::int32_t indexInParent = -1;
    // -1 when the application keeps its children to itself (menus, tables, lists that make
    // their rows on demand): they must be asked for.
    std::int32_t childCount = -1;

    bool has(State state) const { return (states >> static_cast<std::uint32_t>(state)) & 1u; }
    bool supports(Interface interface) const { return (interfaces & interface) != 0; }
};

// A state set as AT-SPI sends it, two 32-bit words, low word first.
inline std::uint64_t stateSet(std::uint32_t low, std::uint32_t high) {
    return std::uint64_t{low} | (std::uint64_t{high} << 32);
}

}  // namespace quorvel::atspi
