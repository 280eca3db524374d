#pragma once

// The one virtual desktop that every end-to-end test of a run shares: gtk3-widget-factory,
// gtk3-demo and an xterm whose shell copies every byte it receives into a file.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "VirtualDesktop.h"

namespace quorvel::e2e {

struct SharedDesktop {
    std::unique_ptr<VirtualDesktop> desktop;
    std::string folder;  // a temporary folder for the files the tests read back
    std::int32_t widgetFactory = 0;
    std::int32_t demo = 0;
    std::int32_t terminal = 0;
    std::string terminalFile;  // what the terminal received, byte for byte
};

// Null until the environment has set it up; the tests skip no check: they fail without it.
SharedDesktop& shared();

// Starts an xterm that copies its raw input into `file`; gives its pid.
std::int32_t startRecordingTerminal(const std::string& file);

std::string readFile(const std::string& path);
void truncateFile(const std::string& path);

// Reads `path` until it holds `size` bytes or a second has passed.
std::string readWhenSize(const std::string& path, std::size_t size);

}  // namespace quorvel::e2e
