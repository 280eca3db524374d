// examples/host.py, the example host, as a newcomer runs it: it finds gtk3-widget-factory by
// its application name, clicks its first text field and types; what it prints is the field's
// value read back through the application.

#include <gtest/gtest.h>

#include <string>

#include "DesktopEnvironment.h"

namespace quorvel::e2e {
namespace {

TEST(ExampleHost, TypesIntoTheFirstTextFieldOfTheApplicationItFindsByName) {
    ASSERT_NE(shared().widgetFactory, 0);
    const std::string text = "Grüße vom Host 日本";
    CommandResult run = runShell(
        "/usr/bin/python3 -B " +
        shellQuoted(std::string(QUORVEL_SOURCE_DIR) + "/examples/host.py") +
        " Gtk3-widget-factory " + shellQuoted(text) + ' ' + shellQuoted(QUORVEL_EXECUTABLE));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, text + "\n");
}

}  // namespace
}  // namespace quorvel::e2e
