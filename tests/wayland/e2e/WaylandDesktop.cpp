#include "WaylandDesktop.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "../../e2e/VirtualDesktop.h"

namespace quorvel::e2e {

namespace {

std::string script(const std::string& name) {
    return shellQuoted(std::string(QUORVEL_SOURCE_DIR) + "/scripts/" + name);
}

std::string desktopCommand(const std::string& subcommand) {
    return "bash " + script("wayland-desktop.sh") + ' ' + subcommand;
}

// The script's lines "export NAME='value'" and "unset NAME", applied to this process.
void applyEnvironment(const std::string& text, std::string& state, std::int32_t& compositor,
                      std::vector<std::int32_t>& pids) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("unset ", 0) == 0) {
            unsetenv(line.substr(6).c_str());
            continue;
        }
        std::size_t equals = line.find('=');
        if (line.rfind("export ", 0) != 0 || equals == std::string::npos) {
            continue;
        }
        std::string name = line.substr(7, equals - 7);
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
            value = value.substr(1, value.size() - 2);
        }
        if (name == "QUORVEL_DESKTOP") {
            state = value;
        } else if (name == "QUORVEL_COMPOSITOR_PID") {
            compositor = std::atoi(value.c_str());
        } else if (name == "QUORVEL_APP_PIDS") {
            std::istringstream words(value);
            for (std::int32_t pid; words >> pid;) {
                pids.push_back(pid);
            }
        } else {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
}

}  // namespace

WaylandDesktop::WaylandDesktop(Compositor compositor, const std::vector<std::string>& apps) {
    std::string command =
        desktopCommand(compositor == Compositor::Weston ? "start --weston" : "start");
    for (const std::string& app : apps) {
        command += ' ' + shellQuoted(app);
    }
    CommandResult result = runShell(command);
    if (result.status == 0) {
        applyEnvironment(result.output, state_, compositorPid_, appPids_);
    }
}

WaylandDesktop::~WaylandDesktop() {
    if (!state_.empty()) {
        runShell(desktopCommand("stop " + shellQuoted(state_)));
    }
}

std::int32_t WaylandDesktop::startApp(const std::string& command) {
    CommandResult result =
        runShell(desktopCommand("app " + shellQuoted(state_) + ' ' + shellQuoted(command)));
    return result.status == 0 ? std::atoi(result.output.c_str()) : 0;
}

Json WaylandDesktop::kwin(const std::string& body) const {
    CommandResult result =
        runShell("python3 " + script("wayland/kwin-script.py") + ' ' + shellQuoted(body));
    Json answer = Json::parse(result.output, nullptr, false);
    return result.status == 0 && !answer.is_discarded() ? answer : Json();
}

std::string WaylandDesktop::clipboard() const {
    return runShell("wl-paste --no-newline 2>/dev/null").output;
}

void WaylandDesktop::setClipboard(const std::string& text) const {
    // wl-copy leaves a process behind that serves the text: it must not hold the pipe open.
    runShell("wl-copy -- " + shellQuoted(text) + " >/dev/null 2>&1");
}

FieldsApp::FieldsApp(Toolkit toolkit, std::string folder, std::string title)
    : toolkit_(toolkit),
      log_(folder + (toolkit == Toolkit::Gtk4 ? "/gtk4-" : "/qt6-") + std::to_string(rand()) +
           ".log"),
      title_(std::move(title)) {}

std::string FieldsApp::command() const {
    std::string app = std::string(QUORVEL_SOURCE_DIR) + "/tests/wayland/e2e/apps/" +
                      (toolkit_ == Toolkit::Gtk4 ? "gtk4-fields.py" : "qt6-fields.py");
    return "python3 " + shellQuoted(app) + ' ' + shellQuoted(log_) + ' ' + shellQuoted(title_);
}

std::vector<std::string> FieldsApp::events() const {
    std::ifstream in(log_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool FieldsApp::waitFor(const std::string& line, double seconds) const {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        for (const std::string& event : events()) {
            if (event == line) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

std::string FieldsApp::text(const std::string& field) const {
    std::string prefix = "text " + field + ' ';
    std::string text;
    for (const std::string& event : events()) {
        if (event.rfind(prefix, 0) == 0) {
            Json value = Json::parse(event.substr(prefix.size()), nullptr, false);
            text = value.is_string() ? value.get<std::string>() : "<unreadable>";
        }
    }
    return text;
}

std::vector<std::string> FieldsApp::held() const {
    std::map<std::string, int> down;
    std::vector<std::string> lines = events();
    for (std::size_t index = std::min(mark_, lines.size()); index < lines.size(); ++index) {
        const std::string& event = lines[index];
        if (event.rfind("press ", 0) == 0) {
            ++down[event.substr(6)];
        } else if (event.rfind("release ", 0) == 0) {
            --down[event.substr(8)];
        }
    }
    std::vector<std::string> held;
    for (const auto& [what, count] : down) {
        if (count > 0) {
            held.push_back(what);
        }
    }
    return held;
}

std::size_t FieldsApp::pressCount() const {
    std::size_t count = 0;
    for (const std::string& event : events()) {
        count += event.rfind("press ", 0) == 0;
    }
    return count;
}

void FieldsApp::markStart() {
    mark_ = events().size();
}

}  // namespace quorvel::e2e
