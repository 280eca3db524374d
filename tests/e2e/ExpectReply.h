#pragma once

// Runs of the real executable that must reply with an observation (exit 0) or with exactly the
// given message (exit 1), either way with nothing on standard error.

#include <gtest/gtest.h>

#include <string>

#include "DriverRun.h"

namespace quorvel::e2e {

inline DriverReply expectOk(const Json& request, const DriverOptions& options = {}) {
    DriverReply run = runDriver(request, options);
    EXPECT_EQ(run.exitStatus, 0) << run.line;
    EXPECT_EQ(run.reply.value("ok", false), true) << run.line;
    EXPECT_EQ(run.errorOutput, "");
    return run;
}

inline DriverReply expectError(const Json& request, const std::string& message,
                               const DriverOptions& options = {}) {
    DriverReply run = runDriver(request, options);
    EXPECT_EQ(run.exitStatus, 1) << run.line;
    EXPECT_EQ(run.reply.value("error", ""), message) << run.line;
    EXPECT_EQ(run.errorOutput, "");
    return run;
}

}  // namespace quorvel::e2e
