#pragma once

// Every reply line that a test receives from the real executable is checked against the
// published schemas (schema/), so that the schemas cannot drift from the driver.

#include <string>

namespace quorvel::test {

// Empty when the line is a reply or an error reply as the schemas describe them; otherwise what
// is wrong with it, as tests/schema/check-replies.py (python3-jsonschema) says.
std::string replySchemaViolation(const std::string& line);

}  // namespace quorvel::test
