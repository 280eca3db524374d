#include "DesktopEnvironment.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace quorvel::e2e {

namespace {

SharedDesktop sharedDesktop;

class DesktopEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-e2e.XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        sharedDesktop.folder = pattern;
        sharedDesktop.terminalFile = sharedDesktop.folder + "/terminal.bin";
        sharedDesktop.desktop = std::make_unique<VirtualDesktop>(
            std::vector<std::string>{"gtk3-widget-factory", "gtk3-demo"});
        ASSERT_TRUE(sharedDesktop.desktop->started()) << "the virtual desktop did not start";
        ASSERT_EQ(sharedDesktop.desktop->appPids().size(), 2u);
        sharedDesktop.widgetFactory = sharedDesktop.desktop->appPids()[0];
        sharedDesktop.demo = sharedDesktop.desktop->appPids()[1];
        sharedDesktop.terminal = startRecordingTerminal(sharedDesktop.terminalFile);
        ASSERT_GT(sharedDesktop.terminal, 0);
    }
    void TearDown() override {
        sharedDesktop.desktop.reset();
        runShell("rm -rf " + shellQuoted(sharedDesktop.folder));
    }
};

const auto* registered = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

}  // namespace

SharedDesktop& shared() {
    (void)registered;
    return sharedDesktop;
}

std::int32_t startRecordingTerminal(const std::string& file) {
    // Raw mode without echo: the file gets exactly the bytes the terminal sends for each key.
    std::string shell = "stty raw -echo; exec cat >> " + shellQuoted(file);
    return sharedDesktop.desktop->startApp("xterm -geometry 80x10+600+560 -e sh -c " +
                                           shellQuoted(shell));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void truncateFile(const std::string& path) {
    std::ofstream(path, std::ios::binary | std::ios::trunc);
}

std::string readWhenSize(const std::string& path, std::size_t size) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    std::string content = readFile(path);
    while (content.size() < size && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        content = readFile(path);
    }
    return content;
}

}  // namespace quorvel::e2e
