#include "platform/linux/kwin/ClipboardPaste.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "platform/linux/common/MonotonicClock.h"

extern char** environ;

namespace quorvel::kwin {

namespace {

constexpr Nanos connectBound = std::chrono::milliseconds(500);
// An owner that takes longer than this to hand over one type counts as unreadable.
constexpr Nanos ownerBound = std::chrono::milliseconds(500);
// From the paste keys to the application asking for the text.
constexpr Nanos pasteBound = std::chrono::milliseconds(1500);
// An application reads what it asked for asynchronously; the next key waits this long so that
// it does not overtake the pasted text.
constexpr Nanos afterPaste = std::chrono::milliseconds(30);
// Putting the clipboard back, after the request's own end.
constexpr Nanos restoreBound = std::chrono::milliseconds(1000);

// Descriptors of the serving process.
constexpr int savedClipboardFd = 3;
constexpr int setAnswerFd = 4;

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset() { Descriptor().swap(*this); }
    void swap(Descriptor& other) { std::swap(fd_, other.fd_); }

  private:
    int fd_;
};

// A descriptor above the serving process's own numbers, so that moving it there always clears
// its close-on-exec flag.
Descriptor highCopy(int fd) {
    return Descriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 10));
}

// Starts the serving process with `saved` and waits until it says the selection is set.
bool startServer(const SavedClipboard& saved, Nanos until) {
    std::string bytes = encode(saved);
    Descriptor memory(::memfd_create("quorvel-saved-clipboard", MFD_CLOEXEC));
    if (memory.get() < 0 ||
        ::write(memory.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        ::lseek(memory.get(), 0, SEEK_SET) != 0) {
        return false;
    }
    int answer[2];
    if (::pipe2(answer, O_CLOEXEC) != 0) {
        return false;
    }
    Descriptor answerRead(answer[0]);
    Descriptor answerWriteLow(answer[1]);
    Descriptor memoryHigh = highCopy(memory.get());
    Descriptor answerWrite = highCopy(answerWriteLow.get());
    answerWriteLow.reset();
    if (memoryHigh.get() < 0 || answerWrite.get() < 0) {
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    }
    posix_spawn_file_actions_adddup2(&actions, memoryHigh.get(), savedClipboardFd);
    posix_spawn_file_actions_adddup2(&actions, answerWrite.get(), setAnswerFd);
    // A session of its own, no signal blocked: it outlives the driver and its host's group.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    std::string name = "quorvel-computer";
    std::string argument = serveClipboardArgument;
    char* argv[] = {name.data(), argument.data(), nullptr};
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    answerWrite.reset();
    if (spawned != 0) {
        return false;
    }
    // One byte once the selection is set; the end of the pipe when it could not be.
    while (monotonicNow() < until) {
        pollfd descriptor{answerRead.get(), POLLIN, 0};
        int wait = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(until - monotonicNow()).count());
        if (::poll(&descriptor, 1, std::max(wait, 1)) > 0) {
            char set = 0;
            return ::read(answerRead.get(), &set, 1) == 1;
        }
    }
    return false;
}

}  // namespace

ClipboardPaste::~ClipboardPaste() {
    restore();
}

bool ClipboardPaste::paste(std::string_view text, const std::function<bool()>& pressPasteKeys) {
    if (!tried_) {
        tried_ = true;
        connection_ = ClipboardConnection::connect(monotonicNow() + connectBound, giveUp_);
        if (connection_) {
            // The whole request's deadline and cancellation bound the reading; each owner's
            // answer is bounded too.
            saved_ = connection_->readSelection(ownerBound, Nanos::max(), giveUp_);
        }
    }
    if (!connection_ || !saved_ || connection_->broken()) {
        return false;
    }
    SavedClipboard offered;
    for (const std::string& type : pastedTextTypes()) {
        offered.types.emplace_back(type, std::string(text));
    }
    connection_->setSelection(offered);
    // Set before the keys go down; a reader that asks right away (a clipboard manager) is
    // answered now and not counted.
    if (!connection_->roundTrip(monotonicNow() + pasteBound, giveUp_)) {
        return false;
    }
    std::uint64_t before = connection_->requests();
    if (!pressPasteKeys()) {
        return false;
    }
    bool asked = connection_->dispatchUntil([&] { return connection_->requests() > before; },
                                            monotonicNow() + pasteBound, giveUp_);
    if (asked) {
        sleepFor(afterPaste);
    }
    return asked && !connection_->replaced();
}

void ClipboardPaste::restore() {
    if (!connection_ || !saved_) {
        return;
    }
    SavedClipboard saved = std::move(*saved_);
    saved_.reset();
    Nanos until = monotonicNow() + restoreBound;
    // What another program copied after the paste is the user's clipboard now: it stays.
    if (!connection_->roundTrip(until, nullptr) || connection_->replaced()) {
        connection_.reset();
        return;
    }
    if (saved.types.empty()) {
        connection_->setSelection(saved);
        connection_->roundTrip(until, nullptr);
    } else if (!connection_->broken()) {
        startServer(saved, until);
        // Until the server's selection replaced the paste's, the paste's is served from here.
        connection_->dispatchUntil([&] { return connection_->replaced(); }, until, nullptr);
    }
    connection_.reset();
}

int serveSavedClipboard() {
    // Nothing the driver's host handed it stays open here: a host that waits for the end of a
    // pipe it gave the driver must not wait for this process too.
    ::close_range(setAnswerFd + 1, ~0U, 0);
    ::signal(SIGPIPE, SIG_IGN);
    std::string bytes;
    char buffer[65536];
    ssize_t count = 0;
    while ((count = ::read(savedClipboardFd, buffer, sizeof buffer)) > 0) {
        bytes.append(buffer, static_cast<std::size_t>(count));
        if (bytes.size() > 2 * savedClipboardLimit) {
            return 1;
        }
    }
    ::close(savedClipboardFd);
    std::optional<SavedClipboard> saved = decode(bytes);
    if (!saved || saved->types.empty()) {
        return 1;
    }
    std::unique_ptr<ClipboardConnection> connection =
        ClipboardConnection::connect(monotonicNow() + restoreBound, nullptr);
    if (!connection) {
        return 1;
    }
    connection->setSelection(*saved);
    if (!connection->roundTrip(monotonicNow() + restoreBound, nullptr)) {
        return 1;
    }
    char set = 1;
    if (::write(setAnswerFd, &set, 1) != 1) {
        return 1;
    }
    ::close(setAnswerFd);
    // Served until another selection replaces it or the compositor goes away.
    connection->dispatchUntil([&] { return connection->replaced(); }, Nanos::max(), nullptr);
    return 0;
}

}  // namespace quorvel::kwin
