#pragma once

// What one accessibility read yields, as a tagged value with the kinds the driver tells apart.

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace quorvel {

// An opaque handle to a user-interface element of some process. Two handles may denote the same
// element: only Platform::elementsEqual decides that.
class Element {
  public:
    virtual ~Element() = default;
};
using ElementHandle = std::unique_ptr<Element>;

enum class GeometryKind { Point, Size, Rect, Range, Other };

// A geometry value: its kind and, when the platform could extract them, its two doubles
// (x and y of a point, width and height of a size).
struct GeometryValue {
    GeometryKind kind = GeometryKind::Other;
    bool extracted = false;
    double first = 0;
    double second = 0;
};

// Any value of a kind the driver ignores.
struct OtherValue {};

struct AttributeValue;
using AttributeArray = std::vector<AttributeValue>;

struct AttributeValue {
    std::variant<OtherValue, std::string, bool, std::int64_t, double, GeometryValue, ElementHandle,
                 AttributeArray>
        value;

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    T* as() {
        return std::get_if<T>(&value);
    }
};

}  // namespace quorvel
