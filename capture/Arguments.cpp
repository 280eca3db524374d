#include "capture/Arguments.h"

#include <charconv>
#include <limits>
#include <string>

#include "capture/CaptureFailure.h"

namespace quorvel::capture {

namespace {

constexpr std::string_view usage =
    "usage: quorvel-capture [--region X Y WIDTH HEIGHT] [--max-width N] [--info]";

[[noreturn]] void invalid(const std::string& why) {
    throw CaptureFailure("Invalid arguments: " + why + " (" + std::string(usage) + ")");
}

// A whole decimal number within [minimum, int32 max]; anything else, a sign of "+" or trailing
// characters included, is refused rather than read in part.
std::int64_t number(std::string_view text, std::string_view what, std::int64_t minimum) {
    std::int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        invalid(std::string(what) + " must be a whole number, not '" + std::string(text) + "'");
    }
    if (value < minimum) {
        invalid(std::string(what) + " must be at least " + std::to_string(minimum) + ", not " +
                std::string(text));
    }
    return value;
}

class ArgumentReader {
  public:
    explicit ArgumentReader(std::span<const std::string_view> arguments) : arguments_(arguments) {}

    bool done() const { return next_ == arguments_.size(); }
    std::string_view take() { return arguments_[next_++]; }
    std::string_view valueOf(std::string_view option, std::string_view what) {
        if (done()) {
            invalid(std::string(option) + " needs " + std::string(what));
        }
        return take();
    }

  private:
    std::span<const std::string_view> arguments_;
    std::size_t next_ = 0;
};

Rect readRegion(ArgumentReader& reader) {
    constexpr std::int64_t anyCoordinate = std::numeric_limits<std::int32_t>::min();
    Rect region;
    region.x =
        number(reader.valueOf("--region", "X Y WIDTH HEIGHT"), "the region's X", anyCoordinate);
    region.y =
        number(reader.valueOf("--region", "Y WIDTH HEIGHT"), "the region's Y", anyCoordinate);
    region.width = number(reader.valueOf("--region", "WIDTH HEIGHT"), "the region's WIDTH", 0);
    region.height = number(reader.valueOf("--region", "HEIGHT"), "the region's HEIGHT", 0);
    if (region == Rect{}) {
        return region;  // 0 0 0 0: the whole screen
    }
    if (region.width == 0 || region.height == 0) {
        invalid(
            "the region's WIDTH and HEIGHT must be positive (or all four 0 for the whole "
            "screen)");
    }
    return region;
}

}  // namespace

CaptureOptions parseArguments(std::span<const std::string_view> arguments) {
    CaptureOptions options;
    bool regionGiven = false;
    bool maxWidthGiven = false;
    ArgumentReader reader(arguments);
    while (!reader.done()) {
        std::string_view option = reader.take();
        if (option == "--region" && !regionGiven) {
            regionGiven = true;
            Rect region = readRegion(reader);
            if (region != Rect{}) {
                options.region = region;
            }
        } else if (option == "--max-width" && !maxWidthGiven) {
            maxWidthGiven = true;
            options.maxWidth = number(reader.valueOf("--max-width", "N"), "--max-width", 1);
        } else if (option == "--info" && !options.info) {
            options.info = true;
        } else if (option == "--region" || option == "--max-width" || option == "--info") {
            invalid(std::string(option) + " is given twice");
        } else {
            invalid("unknown option '" + std::string(option) + "'");
        }
    }
    return options;
}

}  // namespace quorvel::capture
