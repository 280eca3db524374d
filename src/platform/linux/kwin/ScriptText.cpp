#include "platform/linux/kwin/ScriptText.h"

#include "platform/Json.h"
#include "platform/linux/kwin/SessionBus.h"

namespace quorvel::kwin {

namespace {

std::string callbackPreamble(std::string_view service) {
    return "var quorvelService = " + javascriptString(service) +
           ";\nvar quorvelPath = " + javascriptString(SessionBus::callbackPath) +
           ";\nvar quorvelInterface = " + javascriptString(SessionBus::callbackInterface) + ";\n";
}

// Every property read is guarded: a window that is going away may throw, and one property
// missing in a KWin version must not lose the whole report.
constexpr std::string_view watchBody = R"JS(
function quorvelFlag(w, name) {
    try { return !!w[name]; } catch (e) { return false; }
}
function quorvelRect(r) {
    return {x: Number(r.x), y: Number(r.y), width: Number(r.width), height: Number(r.height)};
}
function quorvelOnCurrentDesktop(w) {
    try {
        if (w.onAllDesktops) return true;
        var desktops = w.desktops;
        if (!desktops || desktops.length === 0) return true;
        for (var i = 0; i < desktops.length; ++i) {
            if (desktops[i] === workspace.currentDesktop) return true;
        }
        return false;
    } catch (e) {
        return true;
    }
}
function quorvelEntry(w) {
    return {
        id: String(w.internalId),
        pid: Number(w.pid) > 0 ? Math.floor(Number(w.pid)) : 0,
        caption: String(w.caption || ""),
        "class": String(w.resourceClass || ""),
        frame: quorvelRect(w.frameGeometry),
        client: quorvelRect(w.clientGeometry || w.frameGeometry),
        layer: Math.floor(Number(w.layer) || 2),
        desktop: quorvelFlag(w, "desktopWindow"),
        dock: quorvelFlag(w, "dock"),
        menu: quorvelFlag(w, "menu") || quorvelFlag(w, "dropdownMenu") ||
              quorvelFlag(w, "popupMenu") || quorvelFlag(w, "comboBox"),
        tooltip: quorvelFlag(w, "tooltip"),
        notification: quorvelFlag(w, "notification") || quorvelFlag(w, "criticalNotification"),
        onScreenDisplay: quorvelFlag(w, "onScreenDisplay"),
        dndIcon: quorvelFlag(w, "dndIcon"),
        popup: quorvelFlag(w, "popupWindow"),
        keepAbove: quorvelFlag(w, "keepAbove"),
        keepBelow: quorvelFlag(w, "keepBelow"),
        normal: quorvelFlag(w, "normalWindow"),
        dialog: quorvelFlag(w, "dialog"),
        shown: !quorvelFlag(w, "minimized") && !quorvelFlag(w, "hidden") &&
               quorvelOnCurrentDesktop(w)
    };
}
function quorvelReport() {
    var windows = [];
    var order = workspace.stackingOrder;
    for (var i = 0; i < order.length; ++i) {
        var w = order[i];
        if (!w || quorvelFlag(w, "deleted")) continue;
        try { windows.push(quorvelEntry(w)); } catch (e) {}
    }
    var outputs = [];
    var screens = workspace.screens;
    for (var j = 0; j < screens.length; ++j) outputs.push(quorvelRect(screens[j].geometry));
    var active = workspace.activeWindow;
    var text = JSON.stringify({
        active: active ? String(active.internalId) : null,
        outputs: outputs,
        windows: windows
    });
    callDBus(quorvelService, quorvelPath, quorvelInterface, "report", text);
}
var quorvelSignals = ["frameGeometryChanged", "stackingOrderChanged", "minimizedChanged",
    "captionChanged", "hiddenChanged", "desktopsChanged", "keepAboveChanged",
    "keepBelowChanged", "activeChanged", "layerChanged"];
function quorvelWatch(w) {
    for (var i = 0; i < quorvelSignals.length; ++i) {
        try {
            var s = w[quorvelSignals[i]];
            if (s && s.connect) s.connect(quorvelReport);
        } catch (e) {}
    }
}
var quorvelExisting = workspace.stackingOrder;
for (var k = 0; k < quorvelExisting.length; ++k) quorvelWatch(quorvelExisting[k]);
workspace.windowAdded.connect(function (w) { quorvelWatch(w); quorvelReport(); });
workspace.windowRemoved.connect(quorvelReport);
workspace.windowActivated.connect(quorvelReport);
workspace.currentDesktopChanged.connect(quorvelReport);
workspace.screensChanged.connect(quorvelReport);
quorvelReport();
)JS";

}  // namespace

std::string javascriptString(std::string_view text) {
    // JSON escapes U+2028 and U+2029 nowhere, which older JavaScript reads as line ends; the
    // texts here are bus names, paths and UUIDs, which hold neither.
    return Json(std::string(text)).dump(-1, ' ', true);
}

std::string watchScript(std::string_view service) {
    return callbackPreamble(service) + std::string(watchBody);
}

std::string activationScript(std::string_view service, std::string_view internalId,
                             std::string_view token) {
    return callbackPreamble(service) + "var quorvelTarget = " + javascriptString(internalId) +
           ";\nvar quorvelToken = " + javascriptString(token) + R"JS(;
var quorvelOrder = workspace.stackingOrder;
for (var i = 0; i < quorvelOrder.length; ++i) {
    var w = quorvelOrder[i];
    if (w && String(w.internalId) === quorvelTarget) {
        try { if (w.minimized) w.minimized = false; } catch (e) {}
        workspace.activeWindow = w;
        break;
    }
}
callDBus(quorvelService, quorvelPath, quorvelInterface, "activated", quorvelToken);
)JS";
}

}  // namespace quorvel::kwin
