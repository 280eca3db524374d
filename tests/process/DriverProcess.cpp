#include "DriverProcess.h"

#include <gtest/gtest.h>

#include "ReplySchema.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

namespace quorvel::test {

namespace {

void makePipe(int ends[2]) {
    if (pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
}

}  // namespace

DriverProcess::DriverProcess(Options options) {
    // The driver's input may be closed early; a write to it must fail, not kill the test.
    ::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    makePipe(in);
    makePipe(out);
    makePipe(err);
    // Blocked before the fork, so that a signal sent at once cannot reach the child before it
    // has blocked them itself; the test process's own mask comes back right after.
    sigset_t previous;
    if (options.startBlocked) {
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        sigprocmask(SIG_BLOCK, &signals, &previous);
    }
    pid_ = fork();
    if (options.startBlocked && pid_ != 0) {
        sigprocmask(SIG_SETMASK, &previous, nullptr);
    }
    if (pid_ == 0) {
        if (options.addressSpaceLimit != 0) {
            rlimit limit{options.addressSpaceLimit, options.addressSpaceLimit};
            setrlimit(RLIMIT_AS, &limit);
        }
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        // These tests show the process on a machine without a desktop, whatever runs them.
        unsetenv("DISPLAY");
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        execl(QUORVEL_EXECUTABLE, QUORVEL_EXECUTABLE, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    input_ = in[1];
    output_ = out[0];
    error_ = err[0];
}

DriverProcess::~DriverProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        finish();
    }
}

bool DriverProcess::write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = ::write(input_, bytes.data() + done, bytes.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

void DriverProcess::closeInput() {
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
}

void DriverProcess::signal(int number) {
    kill(pid_, number);
}

bool DriverProcess::awaitHandlers() {
    const std::uint64_t wanted =
        (std::uint64_t{1} << (SIGTERM - 1)) | (std::uint64_t{1} << (SIGINT - 1));
    for (int attempt = 0; attempt < 10000; ++attempt) {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigCgt:", 0) == 0 &&
                (std::stoull(line.substr(7), nullptr, 16) & wanted) == wanted) {
                return true;
            }
        }
        if (!status.is_open() && attempt > 0) {
            return false;
        }
        usleep(1000);
    }
    return false;
}

void DriverProcess::closeOutput() {
    close(output_);
    output_ = -1;
}

Outcome DriverProcess::collect() {
    Outcome outcome;
    // Drain both streams together so that neither pipe fills up and blocks the driver.
    pollfd fds[2] = {{output_, POLLIN, 0}, {error_, POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    int open = 0;
    for (pollfd& entry : fds) {
        open += entry.fd >= 0 ? 1 : 0;
    }
    while (open > 0) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {  // entries with fd -1 are skipped
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) {
                continue;
            }
            char buffer[65536];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    output_ = error_ = -1;
    closeInput();
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (WIFEXITED(status)) {
        outcome.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.termSignal = WTERMSIG(status);
    }
    if (!outcome.out.empty()) {
        EXPECT_EQ(replySchemaViolation(outcome.out), "") << outcome.out;
    }
    return outcome;
}

Outcome runDriver(const std::string& request) {
    DriverProcess driver;
    driver.write(request);
    return driver.finish();
}

}  // namespace quorvel::test
