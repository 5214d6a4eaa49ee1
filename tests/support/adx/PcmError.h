// The root-mean-square difference of decoded PCM against its input, for the
// encoder's loop tests and the seam bench.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

// RMS of got[0, count) - want[offset, offset + count); 0 for no samples.
inline double PcmRmsError(const std::vector<std::int16_t>& got,
                          const std::vector<std::int16_t>& want, std::size_t offset,
                          std::size_t count) {
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double error = static_cast<double>(got[i]) - want[offset + i];
        sum += error * error;
    }
    return count == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(count));
}
