#pragma once

// KWin's active window as its window-management protocol tells a client on the Wayland
// connection itself. KWin grants that protocol only to an executable that an installed desktop
// entry names and asks it for (X-KDE-Wayland-Interfaces); elsewhere `available` is false and
// the window watch answers instead.
//
// KWin sends every change of a window's state on the connection, in the order it makes them, so
// after a round trip on that connection every change KWin made before answering it is in: an
// answer as current as the watch's round trip over the session bus, without the two relays
// through the bus daemon that cost most of it.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/Platform.h"

struct wl_callback;
struct wl_display;
struct wl_registry;
struct org_kde_plasma_window_management;
struct org_kde_plasma_window;

namespace quorvel::kwin {

class ActiveWindow {
  public:
    ActiveWindow() = default;
    ~ActiveWindow();
    ActiveWindow(const ActiveWindow&) = delete;
    ActiveWindow& operator=(const ActiveWindow&) = delete;

    // Waits end once this answers true.
    void endWaitsWhen(std::function<bool()> giveUp) { giveUp_ = std::move(giveUp); }

    // True while KWin grants the protocol and the connection holds; the first call connects.
    bool available();
    // The process of the active window as of a round trip to KWin; absent when no window is
    // active, its process is not known, or the connection failed.
    std::optional<Pid> activePid();

    // A question sent ahead of the next `activePid`, timed to be answered as a pause ends: how
    // long before the end it is sent (the quickest round trip seen, none before the first), and
    // the sending. `activePid` takes its answer only while it is no older than that lead, so
    // that the answer is never staler, when the event it guards goes out, than a round trip
    // started at that moment would have made it.
    Nanos lead() const;
    void askAhead();

  private:
    struct Window {
        org_kde_plasma_window* handle = nullptr;
        Pid pid = 0;
        std::uint32_t state = 0;
        bool complete = false;  // all of its first state is in
    };

    bool connect();
    void disconnect();
    // One round trip, or the answer to the question asked ahead when it is recent enough; then
    // more while windows announced meanwhile lack their first state.
    bool roundTrip();
    bool firstTrip();
    void dropQuestion();

    static void announced(void* data, wl_registry* registry, std::uint32_t name,
                          const char* interface, std::uint32_t version);
    static void windowAdded(void* data, org_kde_plasma_window_management* manager, std::uint32_t id,
                            const char* uuid);
    static void stateChanged(void* data, org_kde_plasma_window* window, std::uint32_t flags);
    static void pidChanged(void* data, org_kde_plasma_window* window, std::uint32_t pid);
    static void initialState(void* data, org_kde_plasma_window* window);
    static void unmapped(void* data, org_kde_plasma_window* window);

    std::function<bool()> giveUp_;
    bool tried_ = false;
    // The question asked ahead: its callback, when it was sent, whether it is answered.
    wl_callback* question_ = nullptr;
    Nanos askedAt_{0};
    bool answered_ = false;
    std::optional<Nanos> quickest_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    org_kde_plasma_window_management* manager_ = nullptr;
    // By the handle's address: the listeners are told the handle.
    std::map<org_kde_plasma_window*, Window> windows_;
};

}  // namespace quorvel::kwin
