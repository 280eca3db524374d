#include "DriverRun.h"

// The tests check every reply they receive against the published schemas; the benchmark, which
// runs the executable the same way, does not.
#ifdef QUORVEL_CHECK_REPLY_SCHEMAS
#include <gtest/gtest.h>

#include "ReplySchema.h"
#endif

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace quorvel::e2e {

DriverReply runDriver(const Json& request, const DriverOptions& options) {
    ::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    DriverReply result;
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        return result;
    }
    auto start = std::chrono::steady_clock::now();
    result.started = start;
    const char* executable =
        options.executable.empty() ? QUORVEL_EXECUTABLE : options.executable.c_str();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execl(executable, executable, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    std::string text = request.dump();
    ssize_t written = write(in[1], text.data(), text.size());
    (void)written;
    close(in[1]);

    bool meanwhileDone = !options.meanwhile;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        int timeout = -1;
        if (!meanwhileDone) {
            auto due = start + options.meanwhileAfter.value_or(std::chrono::milliseconds(0));
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                due - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                options.meanwhile(pid);
                meanwhileDone = true;
                continue;
            }
            timeout = static_cast<int>(left.count());
        }
        int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (pollfd& fd : fds) {
            if (fd.fd >= 0 && (fd.revents & (POLLIN | POLLHUP))) {
                char buffer[65536];
                ssize_t got = read(fd.fd, buffer, sizeof buffer);
                if (got <= 0) {
                    close(fd.fd);
                    fd.fd = -1;
                    --open;
                } else {
                    (fd.fd == out[0] ? result.line : result.errorOutput)
                        .append(buffer, static_cast<std::size_t>(got));
                    if (fd.fd == out[0] && result.lineElapsed.count() < 0 &&
                        result.line.find('\n') != std::string::npos) {
                        result.lineElapsed = std::chrono::steady_clock::now() - start;
                    }
                }
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.elapsed = std::chrono::steady_clock::now() - start;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#ifdef QUORVEL_CHECK_REPLY_SCHEMAS
    if (!result.line.empty()) {
        EXPECT_EQ(test::replySchemaViolation(result.line), "") << result.line;
    }
#endif
    result.reply = Json::parse(result.line, nullptr, false);
    if (result.reply.is_discarded()) {
        result.reply = Json();
    }
    return result;
}

}  // namespace quorvel::e2e
