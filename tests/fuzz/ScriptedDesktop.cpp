#include "ScriptedDesktop.h"

#include <limits>
#include <memory>
#include <string>

namespace quorvel::fuzz {

namespace {

// Reads small choices from the bytes; past their end every choice is 0.
class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t byte() { return next_ < bytes_.size() ? bytes_[next_++] : 0; }
    int below(int limit) { return limit <= 0 ? 0 : byte() % limit; }
    bool oneIn(int chance) { return below(chance) == chance - 1; }

    template <class T, std::size_t N>
    const T& pick(const T (&choices)[N]) {
        return choices[static_cast<std::size_t>(below(static_cast<int>(N)))];
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t next_ = 0;
};

Json pidValue(ByteReader& in) {
    const Json choices[] = {scriptedTarget, 7, 0, "42", 42.0, nullptr};
    return in.pick(choices);
}

Json layerValue(ByteReader& in) {
    const Json choices[] = {0, 0, 0, 3, 101, -1, 0.0, "0"};
    return in.pick(choices);
}

Json boundsValue(ByteReader& in) {
    switch (in.below(8)) {
        case 0:
            return Json::object();
        case 1:
            return Json::array({1, 2, 3, 4});
        case 2:
            return Json{{"X", "0"}, {"Y", 0}, {"Width", 10}, {"Height", 10}};
        default:
            return Json{{"X", in.below(900) - 100},
                        {"Y", in.below(700) - 100},
                        {"Width", in.below(1200)},
                        {"Height", in.oneIn(4) ? 0.5 * in.below(900) : in.below(900)}};
    }
}

Json windowAnswer(ByteReader& in) {
    switch (in.below(16)) {
        case 0:
            return nullptr;
        case 1:
            return Json::object();
        case 2:
            return Json::array({1});
        default:
            break;
    }
    Json list = Json::array();
    int count = in.below(6);
    if (count == 0) {
        list.push_back(windowEntry(scriptedTarget, 0, 0, 0, 800, 600, 1, "Editor", "Doc"));
    }
    for (int i = 0; i < count; ++i) {
        Json entry = Json::object();
        if (!in.oneIn(8))
            entry["kCGWindowOwnerPID"] = pidValue(in);
        if (!in.oneIn(8))
            entry["kCGWindowLayer"] = layerValue(in);
        if (!in.oneIn(8))
            entry["kCGWindowBounds"] = boundsValue(in);
        if (!in.oneIn(4))
            entry["kCGWindowName"] = in.oneIn(4) ? Json("\xC3\xA9t\xC3\xA9") : Json(i);
        entry["kCGWindowNumber"] = i + 1;
        list.push_back(entry);
    }
    return list;
}

StoredValue textValue(ByteReader& in) {
    switch (in.below(6)) {
        case 0:
            return std::string();
        case 1:
            return std::string(1001 + in.below(4), 'x');
        case 2: {
            std::string flags;
            for (int i = 0; i < 501; ++i)
                flags += "e\xCC\x81\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";
            return flags;
        }
        case 3:
            return std::string("\xFF\xFE invalid");
        default:
            return std::string("AXButton");
    }
}

StoredValue anyValue(ByteReader& in, int elementCount) {
    switch (in.below(10)) {
        case 0:
            return OtherValue{};
        case 1:
            return in.oneIn(2);
        case 2:
            return std::int64_t{in.below(256) - 128};
        case 3:
            return 0.5 * in.below(7);
        case 4:
            return ElementRef{in.below(elementCount + 1) - 1};
        case 5:
            return elementArray({in.below(elementCount), in.below(elementCount)});
        case 6:
            return pointValue(in.oneIn(4) ? std::numeric_limits<double>::infinity() : in.below(99),
                              in.below(99));
        case 7:
            return sizeValue(in.below(99) - 9, in.oneIn(3) ? -0.0 : in.below(99));
        default:
            return textValue(in);
    }
}

void scriptTree(MemoryDesktop& desktop, ByteReader& in) {
    int count = 1 + in.below(24);
    for (int i = 0; i < count; ++i) {
        desktop.addElement();
    }
    const char* names[] = {"AXRole",    "AXTitle",         "AXDescription", "AXValue",
                           "AXFocused", "AXPosition",      "AXSize",        "AXChildren",
                           "AXWindows", "AXFocusedWindow", "AXMainWindow",  "AXFocusedUIElement"};
    for (int i = 0; i < count; ++i) {
        int attributes = in.below(8);
        for (int a = 0; a < attributes; ++a) {
            std::string name = in.pick(names);
            if (name == "AXChildren" && !in.oneIn(3)) {
                std::vector<ElementId> children;
                int many = in.oneIn(8) ? 85 : in.below(5);
                for (int c = 0; c < many; ++c) {
                    children.push_back(in.below(count));
                }
                desktop.setChildren(i, children);
            } else {
                desktop.setAttribute(i, name, anyValue(in, count));
            }
        }
        if (in.oneIn(16)) {
            desktop.unresponsive.insert(i);
        }
    }
    desktop.setApplicationElement(scriptedTarget, 0);
}

void scriptChanges(MemoryDesktop& desktop, CancellationFlag& flag, ByteReader& in,
                   const std::shared_ptr<Nanos>& jumped) {
    int changes = in.below(4);
    for (int i = 0; i < changes; ++i) {
        Nanos when = std::chrono::milliseconds(10 * in.below(256));
        switch (in.below(5)) {
            case 0:
                desktop.raiseCancellationAt(when, flag);
                break;
            case 1:
                desktop.at(when, [](MemoryDesktop& d) { d.frontmost = 7; });
                break;
            case 2:
                desktop.at(when, [](MemoryDesktop& d) { d.frontmost = std::nullopt; });
                break;
            case 3: {
                Json answer = windowAnswer(in);
                desktop.at(when, [answer](MemoryDesktop& d) { d.windows = answer; });
                break;
            }
            default:
                desktop.at(when, [jumped](MemoryDesktop& d) {
                    *jumped += std::chrono::seconds(240);
                    d.sleep(std::chrono::seconds(240));
                });
                break;
        }
    }
}

}  // namespace

ScriptedFaults scriptDesktop(MemoryDesktop& desktop, CancellationFlag& flag,
                             std::span<const std::uint8_t> bytes) {
    ByteReader in(bytes);
    ScriptedFaults faults;
    desktop.recordAccessibilityCalls = false;
    desktop.screenCapture = !in.oneIn(16);
    desktop.accessibility = !in.oneIn(16);
    if (!in.oneIn(16)) {
        desktop.addApplication(scriptedTarget);
    }
    desktop.addApplication(7);
    const std::optional<Pid> frontmost[] = {std::nullopt, scriptedTarget, 7};
    desktop.frontmost = in.pick(frontmost);
    if (in.oneIn(8)) {
        desktop.onActivate = nullptr;
    }
    desktop.windows = windowAnswer(in);
    scriptTree(desktop, in);
    // Constructors fail by the order in which events are made.
    std::uint32_t refused = 0;
    for (int i = 0; i < 4; ++i) {
        refused = (refused << 8) | (in.oneIn(2) ? in.byte() : 0);
    }
    if (refused != 0) {
        faults.releaseConstructorsMayFail = true;
        auto made = std::make_shared<int>(0);
        desktop.refuseEvent = [refused, made](const MemoryEventData&) {
            int index = (*made)++;
            return index < 32 && ((refused >> index) & 1u) != 0;
        };
    }
    scriptChanges(desktop, flag, in, faults.jumped);
    return faults;
}

}  // namespace quorvel::fuzz
