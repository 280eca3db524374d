#include "platform/linux/kwin/WindowReport.h"

#include <cmath>
#include <limits>

namespace quorvel::kwin {

namespace {

std::optional<double> number(const Json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_number()) {
        return std::nullopt;
    }
    double value = found->get<double>();
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<ScreenRect> rect(const Json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_object()) {
        return std::nullopt;
    }
    auto x = number(*found, "x");
    auto y = number(*found, "y");
    auto width = number(*found, "width");
    auto height = number(*found, "height");
    if (!x || !y || !width || !height || *width < 0 || *height < 0) {
        return std::nullopt;
    }
    return ScreenRect{*x, *y, *width, *height};
}

bool readFlag(const Json& object, const char* key, bool& into) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_boolean()) {
        return false;
    }
    into = found->get<bool>();
    return true;
}

bool readString(const Json& object, const char* key, std::string& into) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return false;
    }
    into = found->get<std::string>();
    return true;
}

std::optional<ReportedWindow> readWindow(const Json& entry) {
    if (!entry.is_object()) {
        return std::nullopt;
    }
    ReportedWindow window;
    auto pid = entry.find("pid");
    auto layer = entry.find("layer");
    auto frame = rect(entry, "frame");
    auto client = rect(entry, "client");
    if (!readString(entry, "id", window.internalId) || window.internalId.empty() ||
        !readString(entry, "caption", window.caption) ||
        !readString(entry, "class", window.resourceClass) || pid == entry.end() ||
        !pid->is_number_integer() || layer == entry.end() || !layer->is_number_integer() ||
        !frame || !client) {
        return std::nullopt;
    }
    std::int64_t pidValue = pid->get<std::int64_t>();
    if (pidValue < 0 || pidValue > std::numeric_limits<Pid>::max()) {
        return std::nullopt;
    }
    window.pid = static_cast<Pid>(pidValue);
    window.layer = layer->get<int>();
    window.frame = *frame;
    window.client = *client;
    bool ok = readFlag(entry, "desktop", window.desktop) && readFlag(entry, "dock", window.dock) &&
              readFlag(entry, "menu", window.menu) && readFlag(entry, "tooltip", window.tooltip) &&
              readFlag(entry, "notification", window.notification) &&
              readFlag(entry, "onScreenDisplay", window.onScreenDisplay) &&
              readFlag(entry, "dndIcon", window.dndIcon) &&
              readFlag(entry, "popup", window.popup) &&
              readFlag(entry, "keepAbove", window.keepAbove) &&
              readFlag(entry, "keepBelow", window.keepBelow) &&
              readFlag(entry, "normal", window.normal) &&
              readFlag(entry, "dialog", window.dialog) && readFlag(entry, "shown", window.shown);
    if (!ok) {
        return std::nullopt;
    }
    return window;
}

// A whole number as an integer, as the X11 list gives frames; a fractional one (a scaled
// output) as it is.
Json coordinate(double value) {
    if (value == std::floor(value) && std::abs(value) < 1e15) {
        return static_cast<std::int64_t>(value);
    }
    return value;
}

// A minimised window or one on another desktop too: activating it shows it.
bool activatable(const ReportedWindow& window) {
    return (window.normal || window.dialog) && listLayer(window).has_value();
}

}  // namespace

std::optional<WindowReport> parseWindowReport(std::string_view text) {
    Json parsed = Json::parse(text, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        return std::nullopt;
    }
    auto windows = parsed.find("windows");
    auto outputs = parsed.find("outputs");
    auto active = parsed.find("active");
    if (windows == parsed.end() || !windows->is_array() || outputs == parsed.end() ||
        !outputs->is_array() || active == parsed.end() ||
        !(active->is_null() || active->is_string())) {
        return std::nullopt;
    }
    WindowReport report;
    for (const Json& entry : *windows) {
        std::optional<ReportedWindow> window = readWindow(entry);
        if (!window) {
            return std::nullopt;
        }
        report.stacking.push_back(std::move(*window));
    }
    for (const Json& entry : *outputs) {
        Json holder = {{"area", entry}};
        std::optional<ScreenRect> area = rect(holder, "area");
        if (!area) {
            return std::nullopt;
        }
        report.outputs.push_back(*area);
    }
    if (active->is_string()) {
        report.activeId = active->get<std::string>();
    }
    return report;
}

std::uint32_t stableWindowId(std::string_view internalId) {
    // FNV-1a: the same id gives the same number in every process.
    std::uint32_t hash = 2166136261u;
    for (char c : internalId) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    hash &= 0x7fffffffu;
    return hash == 0 ? 1 : hash;
}

std::optional<int> listLayer(const ReportedWindow& window) {
    auto layer = static_cast<KWinLayer>(window.layer);
    if (window.desktop || layer == KWinLayer::Desktop) {
        return std::nullopt;
    }
    if (window.dndIcon) {
        return 500;
    }
    if (window.tooltip || window.onScreenDisplay || layer == KWinLayer::OnScreenDisplay ||
        layer == KWinLayer::Overlay) {
        return 200;
    }
    if (window.notification || layer == KWinLayer::Notification ||
        layer == KWinLayer::CriticalNotification) {
        return 102;
    }
    if (window.menu || window.popup || layer == KWinLayer::Popup) {
        return 101;
    }
    if (window.dock) {
        return 20;
    }
    if (window.keepAbove || layer == KWinLayer::Above) {
        return 3;
    }
    if (window.keepBelow || layer == KWinLayer::Below) {
        return -1;
    }
    return 0;
}

Json windowList(const WindowReport& report) {
    Json list = Json::array();
    for (auto it = report.stacking.rbegin(); it != report.stacking.rend(); ++it) {
        std::optional<int> layer = listLayer(*it);
        if (!it->shown || !layer) {
            continue;
        }
        list.push_back({
            {"kCGWindowNumber", stableWindowId(it->internalId)},
            {"kCGWindowOwnerPID", it->pid},
            {"kCGWindowLayer", *layer},
            {"kCGWindowOwnerName", it->resourceClass},
            {"kCGWindowName", it->caption},
            {"kCGWindowBounds",
             {{"X", coordinate(it->frame.x)},
              {"Y", coordinate(it->frame.y)},
              {"Width", coordinate(it->frame.width)},
              {"Height", coordinate(it->frame.height)}}},
        });
    }
    return list;
}

const ReportedWindow* activeWindow(const WindowReport& report) {
    if (!report.activeId) {
        return nullptr;
    }
    for (const ReportedWindow& window : report.stacking) {
        if (window.internalId == *report.activeId) {
            return window.shown ? &window : nullptr;
        }
    }
    return nullptr;
}

const ReportedWindow* windowToActivate(const WindowReport& report, Pid pid,
                                       std::optional<std::uint32_t> preferred) {
    const ReportedWindow* topmost = nullptr;
    for (const ReportedWindow& window : report.stacking) {
        if (window.pid != pid || !activatable(window)) {
            continue;
        }
        if (preferred && stableWindowId(window.internalId) == *preferred) {
            return &window;
        }
        topmost = &window;  // later in the stacking order is higher
    }
    return topmost;
}

}  // namespace quorvel::kwin
