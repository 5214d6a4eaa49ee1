// Seeks while the stream flows: one flush cycle per SetPositions, the new
// segment ahead of the segment's first sample every time; and relative
// positions that saturate instead of overflowing.
#include "ParserFixtures.h"

#include "tests/support/BoundedWait.h"

#include <algorithm>
#include <limits>

namespace parsertest {
namespace {

constexpr int kSeeks = 150;
constexpr LONGLONG kUnitsPerMs = 10000;
constexpr LONGLONG kMax = std::numeric_limits<LONGLONG>::max();
constexpr LONGLONG kMin = std::numeric_limits<LONGLONG>::min();
constexpr DWORD kAbsolute = AM_SEEKING_AbsolutePositioning;
constexpr DWORD kRelative = AM_SEEKING_RelativePositioning;
constexpr DWORD kIncremental = AM_SEEKING_IncrementalPositioning;

struct OrderCase {
    const char* name;
    DWORD stopFlags; // with the new start, a new stop or none
};

// Test names and failure messages show the case by its name.
void PrintTo(const OrderCase& c, std::ostream* os) {
    *os << c.name;
}

class SeekOrderTest : public ComTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(SeekOrderTest, EachSeekFlushesOnceAndItsSegmentComesFirst) {
    StreamParams params;
    params.totalSamples = 88200; // 2 s
    TempFile fixture(EncodeStream(params).bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    IMediaSeeking* seeking = graph.seeking.get();
    for (int i = 0; i < kSeeks; ++i) {
        LONGLONG current = (i * 37 % 180) * 10 * kUnitsPerMs;
        LONGLONG stop = current + 150 * kUnitsPerMs;
        bounded::Within("SetPositions", [&] {
            EXPECT_EQ(S_OK,
                      seeking->SetPositions(&current, kAbsolute, &stop, GetParam().stopFlags));
        });
        Sleep(static_cast<DWORD>(i % 3));
    }
    graph.StopBounded();
    const std::string events = graph.sink->Pin()->Events();
    EXPECT_EQ(kSeeks, std::count(events.begin(), events.end(), 'B'));
    EXPECT_EQ(kSeeks, std::count(events.begin(), events.end(), 'N'));
    for (size_t at = events.find('E'); at != std::string::npos; at = events.find('E', at + 1)) {
        ASSERT_EQ('N', at + 1 < events.size() ? events[at + 1] : '-')
            << "after the flush at " << at << ": " << events.substr(at, 8);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeks, SeekOrderTest,
                         ::testing::Values(OrderCase{"StartOnly", AM_SEEKING_NoPositioning},
                                           OrderCase{"StartAndStop", kAbsolute}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ExtremeCase {
    const char* name;
    LONGLONG current; // set first, absolutely, with the stop below
    LONGLONG stop;
    LONGLONG currentValue;
    DWORD currentFlags;
    LONGLONG stopValue;
    DWORD stopFlags;
    LONGLONG expectedCurrent;
    LONGLONG expectedStop;
};

void PrintTo(const ExtremeCase& c, std::ostream* os) {
    *os << c.name;
}

class ExtremePositionTest : public ComTest, public ::testing::WithParamInterface<ExtremeCase> {};

TEST_P(ExtremePositionTest, RelativeAndIncrementalPositionsSaturate) {
    const ExtremeCase& param = GetParam();
    TempFile fixture(EncodeStream({}).bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    LONGLONG current = param.current;
    LONGLONG stop = param.stop;
    ASSERT_EQ(S_OK, graph.seeking->SetPositions(&current, kAbsolute, &stop, kAbsolute));
    current = param.currentValue;
    stop = param.stopValue;
    EXPECT_EQ(S_OK,
              graph.seeking->SetPositions(&current, param.currentFlags, &stop, param.stopFlags));
    EXPECT_EQ(S_OK, graph.seeking->GetPositions(&current, &stop));
    EXPECT_EQ(param.expectedCurrent, current);
    EXPECT_EQ(param.expectedStop, stop);
}

constexpr LONGLONG kSecond = 10000000;
INSTANTIATE_TEST_SUITE_P(
    Overflows, ExtremePositionTest,
    ::testing::Values(
        ExtremeCase{"CurrentUp", kSecond, kSecond, kMax, kRelative, 0, 0, kMax, kSecond},
        ExtremeCase{"CurrentDown", -kSecond, kSecond, kMin, kRelative, 0, 0, kMin, kSecond},
        ExtremeCase{"StopUp", 0, kSecond, 0, 0, kMax, kRelative, 0, kMax},
        ExtremeCase{"StopDown", 0, -kSecond, 0, 0, kMin, kRelative, 0, kMin},
        ExtremeCase{"StopAfterCurrentUp", kSecond, 0, 0, 0, kMax, kIncremental, kSecond, kMax},
        ExtremeCase{"StopAfterCurrentDown", -kSecond, 0, 0, 0, kMin, kIncremental, -kSecond, kMin},
        ExtremeCase{"BothUp", kSecond, kSecond, kMax, kRelative, kMax, kIncremental, kMax, kMax},
        ExtremeCase{"InRange", kSecond, kSecond, kSecond, kRelative, 3, kIncremental, 2 * kSecond,
                    2 * kSecond + 3}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace parsertest
