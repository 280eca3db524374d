#pragma once

// The process entry: one request in on standard input, one reply line out on standard output,
// exit status 0 after a reply object and 1 after an error reply.

#include <string>
#include <string_view>

#include "main/Runtime.h"

namespace quorvel {

constexpr std::size_t largestRequestBytes = 262144;

struct ReplyLine {
    std::string text;  // one line of compact JSON, ending in a line feed
    int exitStatus;
};

class ComputerMain {
  public:
    // Installs the SIGTERM and SIGINT handlers, reads the request, runs it and writes the reply.
    // Returns the exit status.
    static int main(Platform& platform);

    // The handlers that turn SIGTERM and SIGINT into the cancellation flag, with both signals
    // unblocked. The process calls it before it makes anything else (a platform reaches out to
    // servers), so that a signal is fatal only while the program is being loaded; `main` calls
    // it again, which changes nothing.
    static void installSignalHandlers();

    // At most largestRequestBytes + 1 bytes of `fd`, until that many arrived or the input ended.
    // Signals do not cut the read short. Fails when the input cannot be read.
    static std::string readRequest(int fd);

    // Everything after the read: size check, parse, run and the reply, never throwing.
    static ReplyLine respond(Runtime& runtime, std::string_view requestBytes);

    // The error reply for `message`: valid JSON even when the message holds bytes that are not
    // UTF-8, which are replaced.
    static std::string errorReply(std::string_view message);
};

}  // namespace quorvel
