#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

#include "DriverProcess.h"

namespace quorvel::test {
namespace {

using Json = nlohmann::json;

// The one line a run must write: valid JSON, one line feed at the end and nowhere else, nothing
// on stderr, and an exit status that matches `ok`.
Json expectOneReplyLine(const Outcome& outcome) {
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.termSignal, 0);
    EXPECT_FALSE(outcome.out.empty());
    EXPECT_EQ(outcome.out.find('\n'), outcome.out.size() - 1) << outcome.out;
    Json reply = Json::parse(outcome.out, nullptr, false);
    EXPECT_TRUE(reply.is_object()) << outcome.out;
    if (!reply.is_object()) {
        return reply;
    }
    EXPECT_TRUE(reply["ok"].is_boolean());
    EXPECT_EQ(outcome.exitStatus, reply["ok"] == true ? 0 : 1);
    if (reply["ok"] == false) {
        EXPECT_EQ(reply.size(), 2u) << outcome.out;
        EXPECT_TRUE(reply["error"].is_string());
    }
    return reply;
}

std::string errorOf(const Outcome& outcome) {
    Json reply = expectOneReplyLine(outcome);
    return reply.is_object() && reply.contains("error") ? reply["error"].get<std::string>() : "";
}

// A request of exactly `size` bytes: an object padded with spaces.
std::string requestOfSize(std::size_t size) {
    std::string request = R"({"actions":[]})";
    request.resize(size, ' ');
    return request;
}

TEST(Reply, ObserveOnlyRequestGivesTheFixedPartWithSortedKeys) {
    Outcome outcome = runDriver(R"({"actions":[{"type":"screenshot"}]})");
    Json reply = expectOneReplyLine(outcome);
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_EQ(outcome.out.rfind(R"({"accessibility":false,"coordinate_space":)", 0), 0u)
        << outcome.out;
    EXPECT_EQ(reply["windows"], Json::array());
    EXPECT_EQ(reply["foreground_pid"], 0);
}

TEST(Reply, BadRequestsGiveOneErrorLine) {
    struct Case {
        std::string request;
        std::string error;  // "" for the parser's own description
    };
    const Case cases[] = {
        {"", ""},
        {"{\"actions\":", ""},
        {"42", ""},
        {"\"text\"", ""},
        {"null", ""},
        {"{\"a\":\"\xff\xfe\"}", ""},  // not UTF-8; the description quotes the bytes
        {"[]", "Invalid action batch"},
        {"{}", "Invalid action batch"},
        {R"({"actions":[{"type":"click","x":1,"y":1}],"pid":1})",
         "Screen Recording permission is missing. No input sent."},
        {R"({"actions":[{"type":"bogus"}]})", "Unsupported action: bogus"},
    };
    for (const Case& c : cases) {
        std::string error = errorOf(runDriver(c.request));
        if (c.error.empty()) {
            EXPECT_FALSE(error.empty()) << c.request;
        } else {
            EXPECT_EQ(error, c.error) << c.request;
        }
    }
}

TEST(Reply, SizeLimitIsExactly262144Bytes) {
    EXPECT_EQ(expectOneReplyLine(runDriver(requestOfSize(262144)))["ok"], true);
    EXPECT_EQ(errorOf(runDriver(requestOfSize(262145))), "Computer request too large");
}

TEST(Reply, ReadingStopsAfterTheByteThatMakesARequestTooLarge) {
    DriverProcess driver;
    // The input stays open: the driver must answer after 262145 bytes without waiting for more.
    driver.write(requestOfSize(262145));
    EXPECT_EQ(errorOf(driver.collect()), "Computer request too large");
}

TEST(Reply, RequestArrivingInPiecesIsReadWhole) {
    DriverProcess driver;
    const std::string request = R"({"actions":[{"type":"wait","seconds":0}],"pid":7})";
    for (char byte : request) {
        driver.write(std::string(1, byte));
        usleep(200);
    }
    Json reply = expectOneReplyLine(driver.finish());
    EXPECT_EQ(reply["ok"], true);
    EXPECT_EQ(reply["accessibility_tree"], Json::object());
}

TEST(Reply, DeeplyNestedInputDoesNotOverflowTheStack) {
    const std::size_t depth = 100000;
    std::string arrays = std::string(depth, '[') + std::string(depth, ']');
    EXPECT_EQ(errorOf(runDriver(arrays)), "Invalid action batch");
    std::string inside = R"({"actions":[],"deep":)" + arrays + "}";
    EXPECT_EQ(expectOneReplyLine(runDriver(inside))["ok"], true);
}

TEST(Reply, SignalBeforeInputIsClosedCancelsTheRequest) {
    for (int number : {SIGTERM, SIGINT}) {
        DriverProcess driver;
        driver.write(R"({"actions":[)");
        // The handlers are installed before the read begins.
        ASSERT_TRUE(driver.awaitHandlers());
        driver.signal(number);
        usleep(20000);
        driver.write("]}");
        EXPECT_EQ(errorOf(driver.finish()), "Computer request cancelled; observe before retrying.")
            << number;
    }
}

TEST(Reply, SignalDuringAWaitEndsAtTheNextCheck) {
    for (int number : {SIGTERM, SIGINT}) {
        DriverProcess driver;
        driver.write(R"({"actions":[{"type":"wait","seconds":0.5},{"type":"screenshot"}]})");
        driver.closeInput();
        ASSERT_TRUE(driver.awaitHandlers());
        usleep(150000);  // into the wait
        driver.signal(number);
        driver.signal(number);  // a second signal changes nothing
        EXPECT_EQ(errorOf(driver.finish()), "Computer request cancelled; observe before retrying.")
            << number;
    }
}

TEST(Reply, ReplyWithoutAReaderEndsWithStatusOneAndNoSignal) {
    DriverProcess driver;
    driver.closeOutput();
    driver.write(R"({"actions":[]})");
    Outcome outcome = driver.finish();
    EXPECT_EQ(outcome.termSignal, 0);
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_EQ(outcome.err, "");
}

TEST(Reply, RunningOutOfMemoryStillGivesOneLine) {
#ifdef QUORVEL_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit here allows";
#else
    // A request that needs several megabytes once parsed, under ever larger limits: the early
    // ones fail while loading the libraries (before the driver runs), the late ones succeed.
    std::string request = R"({"actions":[],"padding":[)";
    for (int i = 0; i < 2400; ++i) {
        request += i ? ",\"" : "\"";
        request.append(100, 'a');
        request += '"';
    }
    request += "]}";
    int outOfMemory = 0;
    int replied = 0;
    for (std::size_t megabytes = 30; megabytes <= 60; ++megabytes) {
        DriverProcess driver(DriverProcess::Options{.addressSpaceLimit = megabytes << 20});
        driver.write(request);
        Outcome outcome = driver.finish();
        if (outcome.exitStatus == 127) {
            continue;  // the loader could not map the libraries: the driver never ran
        }
        SCOPED_TRACE(std::to_string(megabytes) + " MB");
        Json reply = expectOneReplyLine(outcome);
        if (reply.is_object() && reply["ok"] == false) {
            EXPECT_EQ(reply["error"], "Out of memory");
            ++outOfMemory;
        } else {
            ++replied;
        }
    }
    EXPECT_GT(outOfMemory, 0);
    EXPECT_GT(replied, 0);
#endif
}

}  // namespace
}  // namespace quorvel::test
