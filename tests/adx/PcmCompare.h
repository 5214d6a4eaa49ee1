// Comparing decoded PCM with a golden sequence: the index of the first
// difference makes a failure easy to locate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The index of the first sample where the two differ, or -1 when they are
// equal; a length difference counts as a mismatch at the shorter length.
inline std::ptrdiff_t FirstPcmMismatch(const std::vector<std::int16_t>& actual,
                                       const std::vector<std::int16_t>& expected) {
    const std::size_t common = actual.size() < expected.size() ? actual.size() : expected.size();
    for (std::size_t i = 0; i < common; ++i) {
        if (actual[i] != expected[i]) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return actual.size() == expected.size() ? -1 : static_cast<std::ptrdiff_t>(common);
}

inline std::string DescribePcmMismatch(const std::vector<std::int16_t>& actual,
                                       const std::vector<std::int16_t>& expected) {
    const std::ptrdiff_t at = FirstPcmMismatch(actual, expected);
    if (at < 0) {
        return "equal";
    }
    const std::size_t i = static_cast<std::size_t>(at);
    std::string text = "first mismatch at sample index " + std::to_string(at);
    if (i < actual.size() && i < expected.size()) {
        text += ": got " + std::to_string(actual[i]) + ", expected " + std::to_string(expected[i]);
    } else {
        text += ": lengths " + std::to_string(actual.size()) + " and " +
                std::to_string(expected.size());
    }
    return text;
}
