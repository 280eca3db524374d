#include "capture/Downscale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace quorvel::capture {

namespace {

// The source pixels one target pixel covers along one axis, with their weights (summing to 1).
struct Footprint {
    std::size_t first = 0;
    std::vector<double> weights;
};

std::vector<Footprint> footprints(std::size_t sourceSize, std::size_t targetSize) {
    double ratio = static_cast<double>(sourceSize) / static_cast<double>(targetSize);
    std::vector<Footprint> result(targetSize);
    for (std::size_t target = 0; target < targetSize; ++target) {
        double start = static_cast<double>(target) * ratio;
        double end =
            std::min(static_cast<double>(target + 1) * ratio, static_cast<double>(sourceSize));
        Footprint& footprint = result[target];
        footprint.first = static_cast<std::size_t>(start);
        for (std::size_t source = footprint.first; static_cast<double>(source) < end; ++source) {
            double covered = std::min(end, static_cast<double>(source + 1)) -
                             std::max(start, static_cast<double>(source));
            footprint.weights.push_back(covered / ratio);
        }
    }
    return result;
}

std::uint8_t toSample(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

RgbImage downscale(RgbImage source, std::size_t width, std::size_t height) {
    if (width >= source.width && height >= source.height) {
        return source;
    }
    constexpr std::size_t channels = RgbImage::bytesPerPixel;
    std::vector<Footprint> columns = footprints(source.width, width);
    std::vector<Footprint> rows = footprints(source.height, height);
    RgbImage target(width, height);
    std::vector<double> sums(width * channels);
    for (std::size_t y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0.0);
        // Rows first, then columns: the sums of one target row, source row by source row.
        for (std::size_t row = 0; row < rows[y].weights.size(); ++row) {
            const std::uint8_t* line = source.row(rows[y].first + row);
            double rowWeight = rows[y].weights[row];
            for (std::size_t x = 0; x < width; ++x) {
                const Footprint& column = columns[x];
                for (std::size_t part = 0; part < column.weights.size(); ++part) {
                    const std::uint8_t* pixel = line + (column.first + part) * channels;
                    double weight = rowWeight * column.weights[part];
                    for (std::size_t channel = 0; channel < channels; ++channel) {
                        sums[x * channels + channel] += weight * pixel[channel];
                    }
                }
            }
        }
        std::transform(sums.begin(), sums.end(), target.row(y), toSample);
    }
    return target;
}

}  // namespace quorvel::capture
