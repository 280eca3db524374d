#pragma once

// Where an accessible object lives: the bus name of its application and its object path. Two
// references to the same object are equal, in this process and in any other.

#include <cstdint>
#include <string>

namespace quorvel::atspi {

struct ObjectRef {
    std::string bus;
    std::string path;

    bool operator==(const ObjectRef&) const = default;
};

// Every application's own accessible object.
inline constexpr const char* applicationPath = "/org/a11y/atspi/accessible/root";

// A rectangle in screen coordinates: global pixels, top-left origin.
struct Extents {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

}  // namespace quorvel::atspi
