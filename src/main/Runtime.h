#pragma once

// What every request runs under: the platform, the cancellation flag that SIGINT and SIGTERM
// raise, and the request deadline. The process has one of each; tests make their own.

#include <atomic>
#include <cstdint>
#include <optional>

#include "platform/Platform.h"

namespace quorvel {

using CancellationFlag = std::atomic<std::int32_t>;
static_assert(CancellationFlag::is_always_lock_free, "a signal handler must be able to store it");

// The process-wide flag: 0 until the first SIGINT or SIGTERM, then 1 for good.
extern CancellationFlag cancellationRequested;

constexpr Nanos requestTimeLimit = std::chrono::seconds(240);
constexpr Nanos defaultSettle = std::chrono::milliseconds(120);

// The request deadline: created on first use as that moment plus 240 s, never changed after.
class Deadline {
  public:
    Nanos at(Platform& platform);
    // Whether the deadline exists and has passed; never creates it.
    bool passed(Platform& platform) const;

  private:
    std::optional<Nanos> deadline_;
};

struct Runtime {
    Platform& platform;
    CancellationFlag& cancellation;
    Deadline deadline;
    // When the request's process began, on the platform's clock, where it is known: a request
    // that changes nothing has been quiet since then.
    std::optional<Nanos> startedAt = std::nullopt;

    bool cancellationRaised() const { return cancellation.load(std::memory_order_relaxed) != 0; }
    // The flag first, then the deadline: what attr and the tree walk call "cancelled".
    bool pastDeadlineOrCancelled();
    // The same, without creating the deadline: what ends the platform's waits.
    bool requestOver() const { return cancellationRaised() || deadline.passed(platform); }
};

// Fails with the deadline message once the deadline has passed, else with the cancellation
// message once the flag is raised.
void checkCancellation(Runtime& runtime);

// The standard pause after input events.
void settle(Runtime& runtime, Nanos duration = defaultSettle);

// Converts seconds given by a request into the platform's time, saturating at the ends.
Nanos fromSeconds(double seconds);

}  // namespace quorvel
