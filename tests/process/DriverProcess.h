#pragma once

// Runs the real executable as a host would: a pipe to its standard input, its standard output
// and standard error collected, its exit status read back.

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace quorvel::test {

struct Outcome {
    std::string out;
    std::string err;
    int exitStatus = -1;  // -1 when it did not exit normally
    int termSignal = 0;
};

class DriverProcess {
  public:
    struct Options {
        // Start with SIGINT and SIGTERM blocked, as a careful host does, so that a signal sent
        // at any moment is held until the driver can take it.
        bool startBlocked = false;
        // A limit on the driver's address space in bytes; 0 for none.
        std::size_t addressSpaceLimit = 0;
    };
    DriverProcess() : DriverProcess(Options{}) {}
    explicit DriverProcess(Options options);
    ~DriverProcess();
    DriverProcess(const DriverProcess&) = delete;
    DriverProcess& operator=(const DriverProcess&) = delete;

    // Writes all of `bytes`; false when the driver stopped reading (it closed its end).
    bool write(const std::string& bytes);
    void closeInput();
    void signal(int number);
    // Waits, at most 10 s, until the process catches SIGTERM and SIGINT (the kernel's record of
    // its handlers says so); false when it never did or ended first.
    bool awaitHandlers();
    // Closes our end of its standard output: its reply then has no reader.
    void closeOutput();
    // Closes the input if still open and waits for the process to end.
    Outcome finish() {
        closeInput();
        return collect();
    }
    // Waits for the process to end, leaving its input as it is.
    Outcome collect();

    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int error_ = -1;
};

// Runs the driver on `request` and waits for its reply.
Outcome runDriver(const std::string& request);

}  // namespace quorvel::test
