#include "platform/linux/DesktopChoice.h"

#include <cstdlib>
#include <string_view>

#include "platform/linux/kwin/SessionBus.h"
#include "platform/linux/wayland/WaylandObserverPlatform.h"
#include "platform/linux/x11/X11Platform.h"
#ifdef QUORVEL_KWIN_INPUT
#include "platform/linux/kwin/KWinPlatform.h"
#endif

namespace quorvel {

namespace {

constexpr int probeTimeoutMilliseconds = 500;

bool named(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// KWin 6 answers its scripting service and offers EIS; KWin 5 has the first only.
bool kwinOnSessionBus() {
    std::optional<kwin::SessionBus> bus = kwin::SessionBus::connect(probeTimeoutMilliseconds);
    if (!bus) {
        return false;
    }
    kwin::MessagePtr scripting =
        kwin::methodCall("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded");
    const char* name = "quorvel-probe";
    if (!scripting ||
        !dbus_message_append_args(scripting.get(), DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID) ||
        !bus->call(std::move(scripting), probeTimeoutMilliseconds)) {
        return false;
    }
    kwin::MessagePtr introspect =
        kwin::methodCall("org.kde.KWin", "/org/kde/KWin/EIS/RemoteDesktop",
                         "org.freedesktop.DBus.Introspectable", "Introspect");
    kwin::MessagePtr description = bus->call(std::move(introspect), probeTimeoutMilliseconds);
    const char* text = nullptr;
    atspi::ErrorScope error;
    return description &&
           dbus_message_get_args(description.get(), error.get(), DBUS_TYPE_STRING, &text,
                                 DBUS_TYPE_INVALID) &&
           text && std::string_view(text).find("connectToEIS") != std::string_view::npos;
}

}  // namespace

LinuxDesktop chooseDesktop(const SessionConnections& session) {
    if (session.waylandDisplay) {
        // Under Wayland an X server is XWayland, which sees only the X clients.
        return session.kwin && session.kwinInputBuilt ? LinuxDesktop::KWinWayland
                                                      : LinuxDesktop::OtherWayland;
    }
    return session.xDisplay ? LinuxDesktop::X11 : LinuxDesktop::None;
}

std::optional<int> runAsHelper(int argc, char** argv) {
#ifdef QUORVEL_KWIN_INPUT
    if (argc == 2 && std::string_view(argv[1]) == kwin::serveClipboardArgument) {
        return kwin::serveSavedClipboard();
    }
#else
    (void)argc;
    (void)argv;
#endif
    return std::nullopt;
}

std::unique_ptr<Platform> makeLinuxPlatform() {
    SessionConnections session;
    session.waylandDisplay = named("WAYLAND_DISPLAY");
    session.xDisplay = named("DISPLAY");
#ifdef QUORVEL_KWIN_INPUT
    session.kwinInputBuilt = true;
#endif
    if (session.waylandDisplay) {
        session.kwin = kwinOnSessionBus();
    }
    switch (chooseDesktop(session)) {
        case LinuxDesktop::KWinWayland:
#ifdef QUORVEL_KWIN_INPUT
            return std::make_unique<KWinPlatform>();
#endif
        case LinuxDesktop::OtherWayland:
            return std::make_unique<WaylandObserverPlatform>();
        case LinuxDesktop::X11:
        case LinuxDesktop::None:
            break;
    }
    // Without a display the X11 platform answers as a machine without a desktop.
    return std::make_unique<X11Platform>();
}

}  // namespace quorvel
