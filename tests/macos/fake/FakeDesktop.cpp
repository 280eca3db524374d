// The fake desktop's state and its virtual time, with the workspace and the clock that the
// macOS platform reaches through C++ faces of its own.

#include "FakeObjects.h"
#include "platform/macos/MacClock.h"
#include "platform/macos/Workspace.h"

namespace quorvel::macfake {

namespace {

class FakeApplication final : public RunningApplication {
  public:
    explicit FakeApplication(Pid pid) : pid_(pid) {}
    bool isTerminated() override {
        auto app = services().apps.find(pid_);
        return app == services().apps.end() || app->second.terminated;
    }
    void activate() override {
        services().activations.push_back(pid_);
        auto app = services().apps.find(pid_);
        if (app != services().apps.end() && app->second.onActivate) {
            app->second.onActivate();
        }
    }

  private:
    Pid pid_;
};

}  // namespace

Services& services() {
    static Services desktop;
    return desktop;
}

void reset() {
    services() = Services{};
    resetObjects();
}

NodeId Services::addNode(Node node) {
    nodes.push_back(std::move(node));
    return static_cast<NodeId>(nodes.size() - 1);
}

}  // namespace quorvel::macfake

namespace quorvel::macos {

Nanos monotonicNow() {
    return macfake::services().now;
}

void sleepUntil(Nanos until) {
    Nanos& now = macfake::services().now;
    now = std::max(now, until);
}

std::optional<Pid> frontmostApplicationPid() {
    return macfake::services().frontmost;
}

std::unique_ptr<RunningApplication> runningApplicationWithPid(Pid pid) {
    if (!macfake::services().apps.contains(pid)) {
        return nullptr;
    }
    return std::make_unique<macfake::FakeApplication>(pid);
}

}  // namespace quorvel::macos
