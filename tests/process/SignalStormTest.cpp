// Hundreds of runs of the driver with SIGTERM or SIGINT at random moments: before, during and
// after the read, during waits and during the observation. Every run must still write exactly one
// valid JSON line with a matching exit status and nothing on stderr.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "DriverProcess.h"

namespace quorvel::test {
namespace {

using Json = nlohmann::json;

const char* const requests[] = {
    R"({"actions":[]})",
    R"({"actions":[{"type":"wait","seconds":0.2},{"type":"screenshot"}],"pid":1})",
    R"({"actions":[{"type":"wait","seconds":0.05},{"type":"wait","seconds":0.05}]})",
    R"({"actions":[{"type":"type","text":"hello"}],"pid":1})",
    R"({"actions":[{"type":"bogus"}]})",
    R"({"actions":)",
};

struct Plan {
    std::string request;
    std::size_t firstPiece;  // written at once; the rest after `pieceGapUs`
    useconds_t pieceGapUs;
    useconds_t signalAtUs;  // from the start
    int signalNumber;
    bool twice;
};

TEST(SignalStorm, EveryRunWritesOneValidLine) {
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    constexpr int runs = 300;
    constexpr int together = 10;
    for (int first = 0; first < runs; first += together) {
        std::vector<Plan> plans;
        std::vector<std::unique_ptr<DriverProcess>> drivers;
        for (int i = 0; i < together; ++i) {
            std::string request = requests[random() % std::size(requests)];
            plans.push_back(Plan{request, random() % (request.size() + 1),
                                 static_cast<useconds_t>(random() % 150000),
                                 static_cast<useconds_t>(random() % 500000),
                                 random() % 2 ? SIGTERM : SIGINT, random() % 4 == 0});
            drivers.push_back(
                std::make_unique<DriverProcess>(DriverProcess::Options{.startBlocked = true}));
        }
        // Walk the timeline of the whole group in 1 ms steps.
        std::vector<bool> written(together, false), signalled(together, false);
        for (useconds_t now = 0; now <= 650000; now += 1000) {
            for (int i = 0; i < together; ++i) {
                Plan& plan = plans[static_cast<std::size_t>(i)];
                if (now == 0) {
                    drivers[i]->write(plan.request.substr(0, plan.firstPiece));
                }
                if (!written[i] && now >= plan.pieceGapUs) {
                    drivers[i]->write(plan.request.substr(plan.firstPiece));
                    drivers[i]->closeInput();
                    written[i] = true;
                }
                if (!signalled[i] && now >= plan.signalAtUs) {
                    drivers[i]->signal(plan.signalNumber);
                    if (plan.twice) {
                        drivers[i]->signal(plan.signalNumber == SIGTERM ? SIGINT : SIGTERM);
                    }
                    signalled[i] = true;
                }
            }
            usleep(1000);
        }
        for (int i = 0; i < together; ++i) {
            Outcome outcome = drivers[i]->finish();
            const Plan& plan = plans[static_cast<std::size_t>(i)];
            SCOPED_TRACE(plan.request + " signal at " + std::to_string(plan.signalAtUs) + "us");
            ASSERT_EQ(outcome.termSignal, 0);
            ASSERT_EQ(outcome.err, "");
            ASSERT_FALSE(outcome.out.empty());
            ASSERT_EQ(outcome.out.find('\n'), outcome.out.size() - 1) << outcome.out;
            Json reply = Json::parse(outcome.out, nullptr, false);
            ASSERT_TRUE(reply.is_object() && reply["ok"].is_boolean()) << outcome.out;
            ASSERT_EQ(outcome.exitStatus, reply["ok"] == true ? 0 : 1) << outcome.out;
        }
    }
}

}  // namespace
}  // namespace quorvel::test
