#pragma once

// KWin's window list, active window and outputs, as the watch script reports them. The script
// is loaded once, at the first question, and reports every change itself; a question then costs
// one round trip to KWin, whose answer comes after every report KWin sent before it, so the
// answer is as current as the round trip. When KWin stops answering, or the script is gone,
// every answer is absent.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/Platform.h"
#include "platform/linux/kwin/SessionBus.h"
#include "platform/linux/kwin/WindowReport.h"

namespace quorvel::kwin {

class WindowWatch {
  public:
    explicit WindowWatch(std::optional<SessionBus>& bus) : bus_(bus) {}
    ~WindowWatch();
    WindowWatch(const WindowWatch&) = delete;
    WindowWatch& operator=(const WindowWatch&) = delete;

    // Waits end once this answers true.
    void endWaitsWhen(std::function<bool()> giveUp) { giveUp_ = std::move(giveUp); }

    // The report as of now; absent without KWin, its script or a well-formed report.
    const WindowReport* current();
    // The last report taken, without asking KWin again.
    const WindowReport* last() const { return report_ ? &*report_ : nullptr; }

    // Makes the chosen window of `pid` active (see windowToActivate) and waits, briefly, until
    // KWin has done it. Whether the window came forward shows in later reports.
    void activate(Pid pid, std::optional<std::uint32_t> preferred);

  private:
    bool start();
    // Loads and runs a script under `name`; false when KWin refused it.
    bool runScript(const std::string& name, const std::string& text);
    void unload(const std::string& name);
    // Waits up to `limit` for the count of `method` callbacks to pass `seen`.
    bool awaitCallback(const char* method, std::uint64_t seen, Nanos limit);
    void takeReport();

    std::optional<SessionBus>& bus_;
    std::function<bool()> giveUp_;
    std::string watchName_;
    bool started_ = false;
    bool failed_ = false;
    std::uint64_t reportsTaken_ = 0;
    std::optional<WindowReport> report_;
    int activations_ = 0;
};

}  // namespace quorvel::kwin
