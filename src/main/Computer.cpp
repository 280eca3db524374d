#include "main/Computer.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "batch/Run.h"
#include "main/Failure.h"

namespace quorvel {

namespace {

// Written when not even the error reply can be built, for want of memory.
constexpr std::string_view outOfMemoryReply = "{\"error\":\"Out of memory\",\"ok\":false}\n";

// Memory held back for the way out: when an allocation first fails it is given back, so that the
// destructors that run while the failure unwinds, and the error reply, can still allocate.
constexpr std::size_t reserveBytes = std::size_t{4} << 20;
char* memoryReserve = nullptr;

void giveBackReserve() {
    delete[] memoryReserve;
    memoryReserve = nullptr;
    std::set_new_handler(nullptr);
    throw std::bad_alloc();
}

// The moment the process began, on the platform's clock, or a later one: its first thread has
// run (loading the program, reading the request) at most as long as has passed since.
Nanos processStart(Platform& platform) {
    Nanos now = platform.now();
    timespec used{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used) != 0) {
        return now;
    }
    return now - std::chrono::seconds(used.tv_sec) - std::chrono::nanoseconds(used.tv_nsec);
}

void requestCancellation(int) {
    cancellationRequested.store(1, std::memory_order_relaxed);
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The library's messages begin with a tag such as "[json.exception.parse_error.101] ".
std::string describe(const Json::exception& error) {
    std::string_view text = error.what();
    if (!text.empty() && text.front() == '[') {
        auto end = text.find("] ");
        if (end != std::string_view::npos) {
            text.remove_prefix(end + 2);
        }
    }
    return std::string(text);
}

Json parseRequest(std::string_view bytes) {
    Json parsed = Json::parse(bytes.begin(), bytes.end());
    if (parsed.is_object()) {
        return parsed;
    }
    if (parsed.is_array()) {
        return Json::object();  // admission refuses it as an invalid batch
    }
    throw Failure{"parse error: the request must be a JSON object, not a single " +
                  std::string(parsed.type_name())};
}

ReplyLine errorLine(std::string_view message) {
    return ReplyLine{ComputerMain::errorReply(message), 1};
}

}  // namespace

std::string ComputerMain::errorReply(std::string_view message) {
    Json reply = {{"ok", false}, {"error", std::string(message)}};
    return reply.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string ComputerMain::readRequest(int fd) {
    // Grown as the bytes arrive: a buffer of the largest size, zeroed up front, costs a page
    // fault per page on every start, which is a millisecond on some virtual machines.
    constexpr std::size_t chunk = 16384;
    std::string bytes;
    std::size_t filled = 0;
    while (filled < largestRequestBytes + 1) {
        bytes.resize(std::min(filled + chunk, largestRequestBytes + 1));
        ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("Could not read the request from standard input");
        }
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return bytes;
}

ReplyLine ComputerMain::respond(Runtime& runtime, std::string_view requestBytes) {
    try {
        if (requestBytes.size() > largestRequestBytes) {
            fail("Computer request too large");
        }
        Json request = parseRequest(requestBytes);
        Json reply = run(runtime, request);
        return ReplyLine{reply.dump() + "\n", 0};
    } catch (const Failure& failure) {
        return errorLine(failure.message);
    } catch (const Json::exception& error) {
        return errorLine(describe(error));  // the parser's or the writer's description
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        return errorLine(error.what());
    }
}

void ComputerMain::installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = requestCancellation;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A host may start the driver with both signals blocked so that none is lost or fatal before
    // the handlers are in place; from here on they are welcome.
    sigset_t cancelling;
    sigemptyset(&cancelling);
    sigaddset(&cancelling, SIGTERM);
    sigaddset(&cancelling, SIGINT);
    sigprocmask(SIG_UNBLOCK, &cancelling, nullptr);
    // A host that stops reading must see a failed write, not a process killed by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
}

int ComputerMain::main(Platform& platform) {
    installSignalHandlers();
    Runtime runtime{platform, cancellationRequested, {}, processStart(platform)};
    // The platform outlives the request: once it is gone, its waits no longer ask about it.
    struct WaitRule {
        Platform& platform;
        ~WaitRule() { platform.endWaitsWhen({}); }
    } waitRule{platform};
    platform.endWaitsWhen([&runtime] { return runtime.requestOver(); });
    try {
        memoryReserve = new char[reserveBytes];
        std::set_new_handler(giveBackReserve);
        ReplyLine reply;
        try {
            reply = respond(runtime, readRequest(STDIN_FILENO));
        } catch (const Failure& failure) {
            reply = errorLine(failure.message);
        }
        // Whatever path the request took, nothing the driver pressed is still down when the
        // host reads the reply.
        platform.releaseInput();
        return writeAll(STDOUT_FILENO, reply.text) ? reply.exitStatus : 1;
    } catch (const std::bad_alloc&) {
        platform.releaseInput();
        writeAll(STDOUT_FILENO, outOfMemoryReply);
        return 1;
    }
}

}  // namespace quorvel
