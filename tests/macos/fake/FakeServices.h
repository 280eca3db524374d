#pragma once

// A fake of the Apple services that the macOS platform calls, for running that platform's own
// sources on Linux. CoreFoundation objects keep their type and count every reference that the
// code under test takes and gives back; accessibility elements answer from a scripted tree and
// can be made to take longer than their messaging timeout; the window server answers from data;
// every event made and posted is recorded. Time is virtual: the platform's sleeps advance it.

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/Json.h"
#include "platform/Platform.h"

namespace quorvel::macfake {

using NodeId = int;

struct Point {
    double x, y;
};
struct Size {
    double width, height;
};
struct Rect {};
struct Nodes {
    std::vector<NodeId> ids;
};
// An attribute of a scripted element, made into a new CoreFoundation value at every read.
using Attribute =
    std::variant<std::string, bool, std::int64_t, double, Point, Size, Rect, NodeId, Nodes>;

struct Node {
    Pid pid = 0;
    std::map<std::string, Attribute> attributes;
    // How long the application takes to answer a read of this element; one that takes longer
    // than the element's messaging timeout gets the timeout's error after the timeout.
    Nanos answersAfter{0};
    std::function<void()> onRaise = {};
};

// One event as the window server received it.
struct PostedEvent {
    std::uint32_t type = 0;  // CGEventType
    double x = 0, y = 0;
    std::uint32_t button = 0;
    std::uint16_t keyCode = 0;
    std::uint64_t flags = 0;
    std::map<std::uint32_t, std::int64_t> fields;  // by CGEventField
    // The part of the string that an event delivers, and how much was offered.
    std::u16string text;
    std::size_t textOffered = 0;
    std::uint32_t scrollUnit = 0, wheelCount = 0;
    std::int32_t wheels[3] = {0, 0, 0};
    bool sourceWasNull = true;
    std::uint32_t tap = 0;
};

struct App {
    Pid pid = 0;
    NodeId root = -1;
    bool terminated = false;
    // What activating it does, if anything.
    std::function<void()> onActivate = {};
};

struct Services {
    Nanos now{0};
    bool trusted = true;
    bool screenCapture = true;
    std::optional<Pid> frontmost;
    std::map<Pid, App> apps;
    std::vector<Node> nodes;
    // The window server's answer, front to back, converted to CoreFoundation at every call;
    // null for no answer.
    Json windows = Json::array();
    std::vector<std::uint32_t> windowListOptions;
    // Constructors fail while this says so.
    std::function<bool(std::uint32_t eventType)> refuseEvent = [](std::uint32_t) { return false; };
    std::vector<PostedEvent> posted;
    std::vector<std::pair<NodeId, std::string>> actions;
    std::vector<Pid> activations;

    NodeId addNode(Node node);
};

// The one fake desktop of the process, scripted by the test that runs.
Services& services();

// Starts afresh: a new desktop and no objects handed out.
void reset();

// Every reference to a CoreFoundation object that the code under test received or took and has
// not given back, and every release of one it did not hold, as readable lines; empty when each
// was released exactly once.
std::vector<std::string> referenceProblems();

std::u16string utf16(const std::string& utf8);

// How many objects were handed out since the reset.
std::size_t objectsHandedOut();

}  // namespace quorvel::macfake
