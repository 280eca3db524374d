#pragma once

// The driver's one JSON value type. Its objects keep their keys sorted, so every reply is written
// with sorted keys at every level; integers stay apart from floating-point numbers.

#include <nlohmann/json.hpp>

namespace quorvel {

using Json = nlohmann::json;

}  // namespace quorvel
