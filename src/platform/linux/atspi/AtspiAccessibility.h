#pragma once

// Accessibility on a Linux desktop: AT-SPI spoken directly over D-Bus, answering the driver's
// questions (`applicationElement`, `copyAttribute`, `performAction`, `elementsEqual`) with
// the attribute names and value kinds of a macOS host. Nothing is read before the accessibility
// bus has been found without side effects; without it every answer is absent.
//
// Reads are current as of the start of a round of reads: the first read of a round asks the
// application afresh, and `forgetReads` starts a new round. The platform starts one whenever
// time passes or input is sent, so that what a request reads reflects the application as it is.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/Platform.h"
#include "platform/linux/atspi/ApplicationView.h"
#include "platform/linux/atspi/DBusHandles.h"
#include "platform/linux/atspi/FrameMatching.h"

namespace quorvel::atspi {

// What only the window system knows about an application's windows.
struct WindowLinks {
    std::function<std::optional<Pid>()> frontmostPid;
    // The application's on-screen windows, front to back.
    std::function<std::vector<ServerWindow>(Pid)> windows;
    // Brings a window of the application to the front and gives it the keyboard: the one given
    // when it is known.
    std::function<void(Pid, std::optional<std::uint32_t>)> raiseWindow;
    // Positions are read relative to each window (Wayland's toolkits: GTK 4's screen positions
    // are all at the origin there) rather than to the screen.
    bool windowRelativeExtents = false;
};

class AtspiAccessibility {
  public:
    explicit AtspiAccessibility(WindowLinks links = {});
    ~AtspiAccessibility();
    AtspiAccessibility(const AtspiAccessibility&) = delete;
    AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

    // True while the accessibility bus is connected: found through the session bus that the
    // environment names, with an owner for the accessibility registry. The first call connects.
    bool available();

    ElementHandle applicationElement(Pid pid);
    // Finds the application and connects to it, reading nothing of what it shows: what a pause
    // before reading it has time for.
    void reach(Pid pid);
    // Sends, without awaiting the answers, the first reads of the application `reach` found:
    // for the moment a pause ends, so that the application answers while other work goes on.
    void beginReads(Pid pid);
    // The application the reads after the next long pause are about.
    void expectReadsOf(Pid pid) { readsExpected_ = pid; }
    // What the start of a pause of `duration` does: a new round of reads, and in a long pause
    // (the one before an observation) the application expected reached. Gives the process
    // reached, whose first reads go out when the pause is over.
    std::optional<Pid> startPause(Nanos duration);
    void setMessagingTimeout(const Element& element, float seconds);
    std::optional<AttributeValue> copyAttribute(const Element& element, std::string_view name);
    void performAction(const Element& element, std::string_view action);
    bool elementsEqual(const Element& a, const Element& b);

    // Every wait for an application from now on ends once `giveUp` answers true.
    void endWaitsWhen(std::function<bool()> giveUp) { giveUp_ = std::move(giveUp); }

    // Starts a new round of reads: nothing read before is answered again without asking.
    void forgetReads();

    // The mapping of an accessible window of `pid` onto the window system's window that shows
    // it; the identity without a window system. Found once a round.
    std::optional<FrameMapping> mappingOf(ApplicationView& view, const ObjectRef& window, Pid pid,
                                          int timeoutMilliseconds);

    // The title the window system gives the window that shows an accessible window; empty when
    // there is none.
    std::string windowTitle(ApplicationView& view, const ObjectRef& window, Pid pid,
                            int timeoutMilliseconds);

    // D-Bus calls made so far, for measurements.
    int callsMade() const;
    int batchesMade() const;

  private:
    DBusConnection* connection();
    // The application's name on the accessibility bus.
    std::optional<std::string> busOf(Pid pid);
    // The process that owns each name on the accessibility bus, in one batch.
    std::vector<std::optional<std::uint32_t>> ownersOf(const std::vector<std::string>& names);
    ApplicationView& view(const std::string& bus);
    // Takes in the first reads `beginReads` sent over the accessibility bus, unless they are the
    // reads of `bus` (whose own reads take them in).
    void takeInSharedReads(const std::string& bus = {});

    WindowLinks links_;
    std::function<bool()> giveUp_;
    std::unordered_map<Pid, std::vector<ServerWindow>> serverWindows_;
    std::unordered_map<std::string, std::optional<FrameMapping>> mappings_;
    bool connectionTried_ = false;
    ConnectionPtr connection_;
    std::unordered_map<std::string, std::unique_ptr<ApplicationView>> views_;
    std::optional<Pid> readsExpected_;
    // The name `reach` found, and for which process.
    std::optional<std::pair<Pid, std::string>> reached_;
    // The application whose first reads are outstanding on the accessibility bus.
    std::optional<std::string> readsOnBus_;
};

}  // namespace quorvel::atspi
