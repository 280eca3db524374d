#include "platform/macos/Workspace.h"

#include <CoreFoundation/CoreFoundation.h>
#include <objc/NSObjCRuntime.h>
#include <objc/message.h>
#include <objc/runtime.h>

namespace quorvel::macos {

namespace {

// objc_msgSend called through the exact prototype of each message: a variadic call passes its
// arguments in the wrong place on arm64.
template <class Result, class... Arguments>
Result send(id receiver, const char* selector, Arguments... arguments) {
    using Message = Result (*)(id, SEL, Arguments...);
    return reinterpret_cast<Message>(objc_msgSend)(receiver, sel_registerName(selector),
                                                   arguments...);
}

// The objects AppKit hands out autoreleased are freed when the pool of the call drains; a
// process without a run loop has no pool of its own.
class AutoreleasePool {
  public:
    AutoreleasePool()
        : pool_(send<id>(send<id>(objc_getClass("NSAutoreleasePool"), "alloc"), "init")) {}
    ~AutoreleasePool() { send<void>(pool_, "drain"); }
    AutoreleasePool(const AutoreleasePool&) = delete;
    AutoreleasePool& operator=(const AutoreleasePool&) = delete;

  private:
    id pool_;
};

// AppKit refreshes the frontmost application and the terminated state on turns of the main
// run loop; a one-shot process that never turns it would keep reading the first answers.
void refreshWorkspaceState() {
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true);
}

class WorkspaceApplication final : public RunningApplication {
  public:
    // Takes a reference of its own to the application, which outlives the pool it came from.
    explicit WorkspaceApplication(id application) : application_(send<id>(application, "retain")) {}
    ~WorkspaceApplication() override { send<void>(application_, "release"); }
    WorkspaceApplication(const WorkspaceApplication&) = delete;
    WorkspaceApplication& operator=(const WorkspaceApplication&) = delete;

    bool isTerminated() override {
        AutoreleasePool pool;
        refreshWorkspaceState();
        return send<BOOL>(application_, "isTerminated") != NO;
    }

    void activate() override {
        AutoreleasePool pool;
        // No options: the polls that follow confirm whether the system let it come forward.
        send<BOOL>(application_, "activateWithOptions:", NSUInteger{0});
    }

  private:
    id application_;
};

}  // namespace

std::optional<Pid> frontmostApplicationPid() {
    AutoreleasePool pool;
    refreshWorkspaceState();
    id workspace = send<id>(objc_getClass("NSWorkspace"), "sharedWorkspace");
    id application = send<id>(workspace, "frontmostApplication");
    if (!application) {
        return std::nullopt;
    }
    pid_t pid = send<pid_t>(application, "processIdentifier");
    return pid > 0 ? std::optional<Pid>(pid) : std::nullopt;
}

std::unique_ptr<RunningApplication> runningApplicationWithPid(Pid pid) {
    AutoreleasePool pool;
    id application = send<id>(objc_getClass("NSRunningApplication"),
                              "runningApplicationWithProcessIdentifier:", pid_t{pid});
    if (!application) {
        return nullptr;
    }
    return std::make_unique<WorkspaceApplication>(application);
}

}  // namespace quorvel::macos
