#include "target/Focus.h"

#include "main/Failure.h"
#include "observe/Attr.h"
#include "target/WindowList.h"

namespace quorvel {

namespace {

// The window to raise: the focused window, else the main window, else the first of all windows.
std::optional<AttributeValue> chooseTargetWindow(Runtime& runtime, const Element& application) {
    std::optional<AttributeValue> candidate = attr(runtime, application, "AXFocusedWindow");
    if (!candidate) {
        candidate = attr(runtime, application, "AXMainWindow");
    }
    if (isElement(candidate)) {
        return candidate;
    }
    std::optional<AttributeValue> all = attr(runtime, application, "AXWindows");
    AttributeArray* list = all ? all->as<AttributeArray>() : nullptr;
    if (!list || list->empty()) {
        return std::nullopt;
    }
    for (const AttributeValue& item : *list) {
        if (!item.as<ElementHandle>() || !*item.as<ElementHandle>()) {
            return std::nullopt;
        }
    }
    AttributeValue first = std::move(list->front());
    return first;
}

}  // namespace

bool targetWindowIsRaised(std::optional<Pid> frontmost, const Json& windowRecords, Pid target,
                          HasWindow hasWindow) {
    if (!frontmost || *frontmost != target) {
        return false;
    }
    if (hasWindow == HasWindow::No) {
        return true;  // a target without a window counts as raised once it is frontmost
    }
    if (!windowRecords.is_array() || windowRecords.empty()) {
        return false;
    }
    const Json& first = windowRecords.front();
    auto pid = first.find("pid");
    return pid != first.end() && isPid(*pid, target);
}

void awaitInputTurn(Runtime& runtime) {
    Platform& platform = runtime.platform;
    while (!platform.claimInput()) {
        checkCancellation(runtime);
        platform.sleep(focusPollInterval);
    }
}

void focus(Runtime& runtime, Pid pid) {
    // Another driver's batch on this desktop ends first: raising the target in its midst would
    // send its events here.
    awaitInputTurn(runtime);
    Platform& platform = runtime.platform;
    std::unique_ptr<RunningApplication> application = platform.runningApplication(pid);
    if (!application || application->isTerminated()) {
        fail("Target process no longer exists");
    }
    ElementHandle applicationElement = platform.applicationElement(pid);
    std::optional<AttributeValue> window;
    if (applicationElement) {
        window = chooseTargetWindow(runtime, *applicationElement);
    }
    application->activate();
    HasWindow hasWindow = HasWindow::No;
    if (window) {
        platform.performAction(**window->as<ElementHandle>(), "AXRaise");
        hasWindow = HasWindow::Yes;
    }
    for (int poll = 0; poll < focusPolls; ++poll) {
        checkCancellation(runtime);
        platform.sleep(focusPollInterval);
        std::optional<Pid> frontmost = platform.frontmostPid();
        if (targetWindowIsRaised(frontmost, windows(platform, AllLayers::No), pid, hasWindow)) {
            return;
        }
    }
    fail("Could not raise target window; no input sent");
}

}  // namespace quorvel
