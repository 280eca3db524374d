#include "RequestCheck.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "ScriptedDesktop.h"
#include "main/Computer.h"

namespace quorvel::fuzz {

namespace {

// A request may outlast its deadline by one step: a wait of 2 s, a pointer wait step, a few
// pauses after events, or one accessibility read.
constexpr Nanos longestStep = std::chrono::seconds(3);

std::string checkReplyLine(const ReplyLine& reply) {
    const std::string& text = reply.text;
    if (text.empty() || text.back() != '\n' || text.find('\n') != text.size() - 1) {
        return "the reply is not exactly one line: " + text;
    }
    Json parsed = Json::parse(text, nullptr, false);  // strict: invalid UTF-8 is refused
    if (!parsed.is_object() || !parsed.contains("ok") || !parsed["ok"].is_boolean()) {
        return "the reply is not a JSON object with a boolean ok: " + text;
    }
    bool ok = parsed["ok"].get<bool>();
    if (reply.exitStatus != (ok ? 0 : 1)) {
        return "the exit status does not match ok: " + text;
    }
    if (!ok) {
        if (parsed.size() != 2 || !parsed.contains("error") || !parsed["error"].is_string()) {
            return "the error reply does not have exactly ok and error: " + text;
        }
        return "";
    }
    for (const char* key :
         {"windows", "foreground_pid", "accessibility", "screen_capture", "coordinate_space"}) {
        if (!parsed.contains(key)) {
            return std::string("the reply lacks ") + key + ": " + text;
        }
    }
    if (parsed.contains("focused_element") != parsed.contains("focused_element_source")) {
        return "focused_element without its source, or the reverse: " + text;
    }
    return "";
}

// Every press posted has its release posted, unless a release's constructor was made to fail.
std::string checkNothingLeftPressed(const MemoryDesktop& desktop) {
    std::map<std::string, int> balance;
    for (const RecordedEvent& recorded : desktop.events) {
        const MemoryEventData& e = recorded.event;
        switch (e.kind) {
            case RecordedEventKind::Mouse:
                if (e.mouseType == MouseEventType::LeftDown)
                    ++balance["left"];
                if (e.mouseType == MouseEventType::LeftUp)
                    --balance["left"];
                if (e.mouseType == MouseEventType::RightDown)
                    ++balance["right"];
                if (e.mouseType == MouseEventType::RightUp)
                    --balance["right"];
                break;
            case RecordedEventKind::Keyboard:
                balance["key " + std::to_string(e.virtualKey)] += e.keyDown ? 1 : -1;
                break;
            case RecordedEventKind::Scroll:
                break;
        }
        for (const auto& [what, pressed] : balance) {
            if (pressed < 0 || pressed > 1) {
                return "press and release out of step for " + what;
            }
        }
    }
    for (const auto& [what, pressed] : balance) {
        if (pressed != 0) {
            return "left pressed: " + what;
        }
    }
    return "";
}

}  // namespace

std::string checkRequest(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* end = data + size;
    const std::uint8_t* separator = std::find(data, end, std::uint8_t{0});
    std::string_view request(reinterpret_cast<const char*>(data),
                             static_cast<std::size_t>(separator - data));
    std::span<const std::uint8_t> script;
    if (separator != end) {
        script = std::span<const std::uint8_t>(separator + 1, end);
    }

    MemoryDesktop desktop;
    CancellationFlag flag{0};
    ScriptedFaults faults = scriptDesktop(desktop, flag, script);
    Runtime runtime{desktop, flag, {}};
    std::string broken = checkReplyLine(ComputerMain::respond(runtime, request));
    if (broken.empty() &&
        desktop.now() > runtime.deadline.at(desktop) + longestStep + *faults.jumped) {
        broken = "the request ran past its deadline by more than one step";
    }
    if (broken.empty() && !faults.releaseConstructorsMayFail) {
        broken = checkNothingLeftPressed(desktop);
    }
    if (broken.empty() && (desktop.liveElementHandles() != 0 || desktop.liveEventHandles() != 0)) {
        broken = "a platform handle outlived the request";
    }
    return broken;
}

}  // namespace quorvel::fuzz
