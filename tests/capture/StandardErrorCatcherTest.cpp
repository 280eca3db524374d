// Standard error caught for a while, then given back as it was.

#include <gtest/gtest.h>
#include <unistd.h>

#include "capture/StandardErrorCatcher.h"

namespace quorvel::capture {
namespace {

void say(std::string_view text) {
    ASSERT_EQ(write(STDERR_FILENO, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

TEST(StandardErrorCatcher, KeepsWhatIsWrittenMeanwhileAndPutsStandardErrorBack) {
    ::testing::internal::CaptureStderr();
    say("before ");
    {
        StandardErrorCatcher catcher;
        say("Invalid MIT-MAGIC-COOKIE-1 key\n");
        EXPECT_EQ(catcher.release(), "Invalid MIT-MAGIC-COOKIE-1 key\n");
        say("after ");
    }
    {
        StandardErrorCatcher unreleased;
        say("dropped");
    }
    say("end");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "before after end");
}

}  // namespace
}  // namespace quorvel::capture
