#pragma once

// The driver's one error type. Its message becomes the `error` of the error reply.

#include <string>

namespace quorvel {

struct Failure {
    std::string message;
};

[[noreturn]] void fail(std::string message);

}  // namespace quorvel
