#include "main/Failure.h"

#include <utility>

namespace quorvel {

void fail(std::string message) {
    throw Failure{std::move(message)};
}

}  // namespace quorvel
