#include "platform/linux/kwin/WindowWatch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/linux/common/MonotonicClock.h"
#include "platform/linux/kwin/ScriptText.h"

namespace quorvel::kwin {

namespace {

constexpr int callTimeoutMilliseconds = 500;
constexpr Nanos scriptStartLimit = std::chrono::milliseconds(1500);
constexpr Nanos activationLimit = std::chrono::milliseconds(500);

constexpr const char* kwinService = "org.kde.KWin";

// A script file that exists while KWin may still read it: KWin reads it after `run` returns.
class ScriptFile {
  public:
    explicit ScriptFile(const std::string& text) {
        char name[] = "/tmp/quorvel-kwin-XXXXXX.js";
        int fd = mkstemps(name, 3);
        if (fd < 0) {
            return;
        }
        bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(fd);
        path_ = name;
        if (!written) {
            path_.clear();
            ::unlink(name);
        }
    }
    ~ScriptFile() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace

WindowWatch::~WindowWatch() {
    if (started_) {
        unload(watchName_);
    }
}

bool WindowWatch::start() {
    if (started_ || failed_) {
        return started_;
    }
    failed_ = true;
    if (!bus_) {
        return false;
    }
    watchName_ = "quorvel-watch-" + std::to_string(getpid());
    std::uint64_t seen = bus_->lastCallback("report").count;
    ScriptFile file(watchScript(bus_->uniqueName()));
    if (file.path().empty() || !runScript(watchName_, file.path())) {
        return false;
    }
    started_ = true;
    if (!awaitCallback("report", seen, scriptStartLimit)) {
        unload(watchName_);
        started_ = false;
        return false;
    }
    failed_ = false;
    return true;
}

bool WindowWatch::runScript(const std::string& name, const std::string& path) {
    MessagePtr load = methodCall(kwinService, "/Scripting", "org.kde.kwin.Scripting", "loadScript");
    const char* pathText = path.c_str();
    const char* nameText = name.c_str();
    if (!load || !dbus_message_append_args(load.get(), DBUS_TYPE_STRING, &pathText,
                                           DBUS_TYPE_STRING, &nameText, DBUS_TYPE_INVALID)) {
        return false;
    }
    MessagePtr loaded = bus_->call(std::move(load), callTimeoutMilliseconds);
    dbus_int32_t id = -1;
    atspi::ErrorScope error;
    if (!loaded ||
        !dbus_message_get_args(loaded.get(), error.get(), DBUS_TYPE_INT32, &id,
                               DBUS_TYPE_INVALID) ||
        id < 0) {
        return false;
    }
    std::string scriptPath = "/Scripting/Script" + std::to_string(id);
    MessagePtr run = methodCall(kwinService, scriptPath.c_str(), "org.kde.kwin.Script", "run");
    if (!run || !bus_->call(std::move(run), callTimeoutMilliseconds)) {
        unload(name);
        return false;
    }
    return true;
}

void WindowWatch::unload(const std::string& name) {
    if (!bus_) {
        return;
    }
    MessagePtr unload =
        methodCall(kwinService, "/Scripting", "org.kde.kwin.Scripting", "unloadScript");
    const char* nameText = name.c_str();
    if (unload &&
        dbus_message_append_args(unload.get(), DBUS_TYPE_STRING, &nameText, DBUS_TYPE_INVALID)) {
        bus_->call(std::move(unload), callTimeoutMilliseconds);
    }
}

bool WindowWatch::awaitCallback(const char* method, std::uint64_t seen, Nanos limit) {
    Nanos until = monotonicNow() + limit;
    while (bus_->lastCallback(method).count <= seen) {
        if (!bus_->connected() || (giveUp_ && giveUp_()) || monotonicNow() >= until) {
            return false;
        }
        bus_->receive(std::chrono::milliseconds(10));
    }
    return true;
}

void WindowWatch::takeReport() {
    const SessionBus::Callback& latest = bus_->lastCallback("report");
    if (latest.count == reportsTaken_) {
        return;
    }
    reportsTaken_ = latest.count;
    // A malformed report leaves no report at all, not the one before it.
    report_ = parseWindowReport(latest.text);
}

const WindowReport* WindowWatch::current() {
    if ((giveUp_ && giveUp_()) || !start()) {
        return nullptr;
    }
    // One round trip: every report KWin sent before answering is in by the answer.
    MessagePtr ask =
        methodCall(kwinService, "/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded");
    const char* nameText = watchName_.c_str();
    if (!ask ||
        !dbus_message_append_args(ask.get(), DBUS_TYPE_STRING, &nameText, DBUS_TYPE_INVALID)) {
        return nullptr;
    }
    MessagePtr answer = bus_->call(std::move(ask), callTimeoutMilliseconds);
    dbus_bool_t loaded = FALSE;
    atspi::ErrorScope error;
    if (!answer ||
        !dbus_message_get_args(answer.get(), error.get(), DBUS_TYPE_BOOLEAN, &loaded,
                               DBUS_TYPE_INVALID) ||
        !loaded) {
        report_.reset();
        return nullptr;
    }
    takeReport();
    return report_ ? &*report_ : nullptr;
}

void WindowWatch::activate(Pid pid, std::optional<std::uint32_t> preferred) {
    const WindowReport* report = current();
    if (!report) {
        return;
    }
    const ReportedWindow* window = windowToActivate(*report, pid, preferred);
    if (!window) {
        return;
    }
    std::string name =
        "quorvel-activate-" + std::to_string(getpid()) + "-" + std::to_string(++activations_);
    std::uint64_t seen = bus_->lastCallback("activated").count;
    ScriptFile file(activationScript(bus_->uniqueName(), window->internalId, name));
    if (file.path().empty() || !runScript(name, file.path())) {
        return;
    }
    awaitCallback("activated", seen, activationLimit);
    unload(name);
}

}  // namespace quorvel::kwin
