// The input pin of CaptureSink: records every sample it receives (bytes,
// presentation and media times, flags), end of stream, flushes and
// segments. It can ask for buffers of a chosen size, hand out an allocator
// of the test's, refuse a chosen sample, and hold on to samples so that the
// upstream runs out of buffers.
#pragma once

#include "framework/com/ComPtr.h"
#include "framework/com/CriticalSection.h"
#include "framework/filters/InputPinBase.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace testgraph {

struct CapturedSample {
    std::vector<std::uint8_t> bytes;
    bool hasTime = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool hasMediaTime = false;
    LONGLONG mediaStart = 0;
    LONGLONG mediaEnd = 0;
    bool discontinuity = false;
    bool preroll = false;
    bool syncPoint = false;
};

struct CaptureOptions {
    long bufferBytes = 0;     // asked for in GetAllocatorRequirements; 0 asks nothing
    long bufferCount = 0;     // likewise
    int refuseSample = -1;    // index of a sample answered with S_FALSE (not recorded)
    bool holdSamples = false; // keep every sample until Stop
    // At end of stream, after this many ms, ask the upstream pin for its stop
    // position on the streaming thread, as the runtime's renderers do; -1
    // asks nothing.
    int askStopPositionAtEndMs = -1;
    // Handed out by GetAllocator instead of the runtime's memory allocator
    // (the pin takes its own reference); null for the runtime's.
    IMemAllocator* allocator = nullptr;
};

class CaptureSink;

class CapturePin : public InputPinBase {
public:
    CapturePin(CaptureSink* filter, CriticalSection* lock, const CaptureOptions& options);
    ~CapturePin() override;

    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
    HRESULT CanStream() override;

    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** out) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;

    // Waits until end of stream arrived `count` times; false on timeout.
    bool WaitForEndOfStream(int count, DWORD timeoutMs);
    // Waits until at least `count` samples were recorded; false on timeout.
    bool WaitForSamples(size_t count, DWORD timeoutMs);
    // Waits until the recorded samples hold at least `bytes` bytes.
    bool WaitForBytes(size_t bytes, DWORD timeoutMs);
    void ReleaseHeldSamples();
    // Forgets the samples recorded so far (the counters stay).
    void ClearSamples();

    std::vector<CapturedSample> Samples();
    size_t RecordedBytes();
    int EndOfStreamCount();
    int BeginFlushCount();
    int EndFlushCount();
    struct Segment {
        REFERENCE_TIME start;
        REFERENCE_TIME stop;
        double rate;
    };
    std::vector<Segment> Segments();
    int ReceiveCalls();
    // How many samples had been recorded when the last flush ended: the
    // samples of the run that a seek started follow it.
    size_t SamplesAtLastEndFlush();
    // What arrived, in order, one letter each: S a recorded sample, N a new
    // segment, B and E the beginning and end of a flush, X end of stream.
    std::string Events();

private:
    CaptureSink* const sink_; // not counted: the sink owns this pin
    const CaptureOptions options_;
    ComPtr<IMemAllocator> ownAllocator_; // +1 on options_.allocator, when given
    std::mutex mutex_;
    std::vector<CapturedSample> samples_;
    size_t recordedBytes_ = 0;
    std::vector<ComPtr<IMediaSample>> held_; // +1 on each held sample
    std::vector<Segment> segments_;
    int receiveCalls_ = 0;
    size_t samplesAtLastEndFlush_ = 0;
    int endOfStreamCount_ = 0;
    int beginFlushCount_ = 0;
    int endFlushCount_ = 0;
    std::string events_;
};

} // namespace testgraph
