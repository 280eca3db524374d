#pragma once

#include <string>
#include <utility>

#include "main/Failure.h"

namespace quorvel {

// The message of the Failure that `body` throws, or "" when it throws none.
template <class Body>
std::string failureOf(Body&& body) {
    try {
        std::forward<Body>(body)();
    } catch (const Failure& failure) {
        return failure.message;
    }
    return "";
}

}  // namespace quorvel
