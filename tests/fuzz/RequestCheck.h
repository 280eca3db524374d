#pragma once

// The promises the driver makes to hosts, checked for one input of the fuzzer: the request (the
// bytes before the first NUL) runs on a desktop drawn from the bytes after it.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel::fuzz {

// "" when every promise held, else what was broken.
std::string checkRequest(const std::uint8_t* data, std::size_t size);

}  // namespace quorvel::fuzz
