// The upper-case letters that Windows' file systems (NTFS's upcase table)
// fold names to, beyond ASCII: Unicode's simple mapping for Latin-1, Latin
// Extended-A and -B, Greek, Cyrillic, Armenian, Latin Extended Additional,
// Greek Extended, Roman numerals, circled and fullwidth letters. The data is
// generated (scripts/generate-name-tables.py).
#pragma once

#include <cstddef>
#include <cstdint>

class UpperCaseTable {
public:
    // The upper-case letter of `codePoint`, or codePoint itself.
    static uint32_t Upper(uint32_t codePoint) {
        if (codePoint < 0x80) {
            return codePoint >= 'a' && codePoint <= 'z' ? codePoint - 0x20 : codePoint;
        }
        // Runs are sorted and do not overlap: the last that starts at or
        // before codePoint is the only one that can hold it.
        size_t low = 0;
        size_t high = kRunCount;
        while (high - low > 1) {
            const size_t middle = (low + high) / 2;
            if (kRuns[middle].first <= codePoint) {
                low = middle;
            } else {
                high = middle;
            }
        }
        const Run& run = kRuns[low];
        if (codePoint < run.first || codePoint > run.last ||
            (codePoint - run.first) % run.step != 0) {
            return codePoint;
        }
        return static_cast<uint32_t>(static_cast<int32_t>(codePoint) + run.delta);
    }

    static constexpr size_t kRunCount = 95;

private:
    // first..last, every `step`-th code point, maps to itself plus delta.
    struct Run {
        uint32_t first;
        uint32_t last;
        uint32_t step;
        int32_t delta;
    };
    static const Run kRuns[kRunCount];
};
