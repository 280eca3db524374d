#pragma once

// A connection to the compositor for the seat's clipboard alone, through the data-control
// protocol: it reads the current selection, and sets one that it serves itself for as long as it
// lasts. Every wait has a bound (a time on the monotonic clock and a give-up test) and a broken
// connection ends it at once.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/kwin/DataControlProtocol.h"
#include "platform/linux/kwin/SavedClipboard.h"

struct wl_registry;
struct wl_seat;

namespace quorvel::kwin {

using GiveUp = std::function<bool()>;

class ClipboardConnection {
  public:
    // The display that WAYLAND_DISPLAY names, its first seat and its data control; null without
    // any of them by `until`.
    static std::unique_ptr<ClipboardConnection> connect(Nanos until, const GiveUp& giveUp);
    ~ClipboardConnection();
    ClipboardConnection(const ClipboardConnection&) = delete;
    ClipboardConnection& operator=(const ClipboardConnection&) = delete;

    // Takes in events until `done` holds; false when it does not by `until`, when `giveUp`
    // answers true first, or when the connection breaks.
    bool dispatchUntil(const std::function<bool()>& done, Nanos until, const GiveUp& giveUp);
    // Everything sent so far has reached the compositor and been answered.
    bool roundTrip(Nanos until, const GiveUp& giveUp);
    bool broken() const;

    // Every type of the current selection worth saving, read from its owner; absent when the
    // owner does not answer each within `ownerBound`, or the whole exceeds the limit.
    std::optional<SavedClipboard> readSelection(Nanos ownerBound, Nanos until,
                                                const GiveUp& giveUp);

    // Makes `content` the selection, served from here until another client sets one (an empty
    // content clears the selection). Sent, not yet answered: a round trip confirms it.
    void setSelection(const SavedClipboard& content);
    // How many times an application asked for the selection set here.
    std::uint64_t requests() const { return requests_; }
    // Whether another client's selection replaced the one set here.
    bool replaced() const { return replaced_; }

  private:
    struct OfferState;
    ClipboardConnection() = default;
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void globalRemove(void* data, wl_registry* registry, std::uint32_t name);
    std::optional<std::string> read(const std::string& type, std::size_t limit, Nanos deadline,
                                    const GiveUp& giveUp);
    void serve(const char* type, int fd);
    void dropSource();

    static const dataControl::DeviceListener deviceListener;
    static const dataControl::SourceListener sourceListener;
    static const dataControl::OfferListener offerListener;

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    std::uint32_t managerName_ = 0;
    dataControl::Manager* manager_ = nullptr;
    dataControl::Device* device_ = nullptr;
    std::vector<std::unique_ptr<OfferState>> offers_;  // offered, not yet replaced
    OfferState* selection_ = nullptr;
    dataControl::Source* source_ = nullptr;
    SavedClipboard served_;
    std::uint64_t requests_ = 0;
    bool replaced_ = false;
    bool finished_ = false;
};

}  // namespace quorvel::kwin
