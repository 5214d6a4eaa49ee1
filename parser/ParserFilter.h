// The ADX parser filter, "VAZ Iraz Ozadiz". Its input pin pulls an ADX stream
// from an upstream file reader; the filter loads the header when the input
// connects, turns the pulled chunks into whole-frame, timestamped samples for
// its output pin as its StreamPlanner plans them (loop jumps included: the
// pull thread itself reads on from the loop start) and answers seeking
// through the output pin.
//
// Locks, always taken in this order (a thread may skip any of them):
//   seek lock -> filter lock -> PullReader lock -> delivery lock -> plan lock;
// the output pin's position lock is a leaf like the plan lock.
// The rule that keeps the graph from deadlocking: no lock held while waiting
// for the pull thread (the seek lock, the filter lock in Stop, the
// PullReader's lock) is ever taken by the pull thread, and the locks the pull
// thread takes (the delivery lock, the plan lock, the position lock through a
// renderer's position query at end of stream) are never held while waiting
// for it or while calling out of the filter. A seek sends its flush and its
// new segment downstream under the PullReader lock, while the pull thread is
// paused, so that the segment precedes its first sample. Stop decommits the
// output allocator before it waits for the pull thread, which may be waiting
// for an output buffer that downstream holds; decommitting takes none of
// these locks.
#pragma once

#include "adx/AdxHeader.h"
#include "framework/com/ComPtr.h"
#include "framework/com/CriticalSection.h"
#include "framework/filters/FilterBase.h"
#include "parser/PullSequencer.h"
#include "parser/StreamGeometry.h"
#include "parser/StreamPlanner.h"

#include <corvina.h>

#include <ocidl.h>

#include <memory>

class ParserInputPin;
class ParserOutputPin;

class ParserFilter : public FilterBase, public IAdxParserControl, public ISpecifyPropertyPages {
public:
    // The factory table's create function: a new filter with a count of 0, or
    // null and E_OUTOFMEMORY in *result.
    static UnknownBase* CreateInstance(IUnknown* outer, HRESULT* result);

    ParserFilter(IUnknown* outer, HRESULT* result);
    ~ParserFilter() override;

    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // FilterBase hooks.
    int PinCount() override;
    PinBase* PinAt(int index) override;

    // IMediaFilter
    HRESULT STDMETHODCALLTYPE Stop() override;
    // Activates the output pin before the input pin, so that the pull thread
    // finds the output allocator committed.
    HRESULT STDMETHODCALLTYPE Pause() override;

    // IAdxParserControl
    HRESULT STDMETHODCALLTYPE GetFormatInfo(AdxFormatInfo* info) override;
    INT32 STDMETHODCALLTYPE GetTotalSamples() override;
    HRESULT STDMETHODCALLTYPE SetFileOffset(INT32 byteOffset) override;
    INT32 STDMETHODCALLTYPE GetFileOffset() override;
    HRESULT STDMETHODCALLTYPE GetLoopPoints(AdxLoopPoint* loops, INT32* count) override;
    HRESULT STDMETHODCALLTYPE SetLoop(INT32 index, INT32 enable) override;
    HRESULT STDMETHODCALLTYPE GetLoop(INT32* index, INT32* enabled) override;

    // ISpecifyPropertyPages
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

    // Connection (called by the pins, under the filter lock).
    // Parses `headerLength` header bytes; VFW_E_INVALID_FILE_FORMAT for a
    // header this filter cannot play (also a total of 2^31 samples or more).
    // Replaces the filter's header when `store` and the header is good.
    HRESULT LoadHeader(std::int32_t headerLength, const BYTE* headerBytes, bool store);
    void ResetForNewStream();
    void ResetForDisconnect();
    bool IsOutputConnected() const;
    // The ADX media type for the loaded stream; VFW_S_NO_MORE_ITEMS when no
    // stream is loaded.
    HRESULT BuildMediaType(MediaTypeRecord& type);
    // The loaded stream's geometry (not usable while none is loaded).
    StreamGeometry Geometry();

    // Streaming (on the PullReader thread). Plans a chunk through `plan`
    // for the output buffers and delivers its samples: S_OK, S_FALSE when
    // the output is being stopped (the run ends quietly), or a failure
    // already reported downstream and to the graph.
    HRESULT DeliverChunk(const BYTE* data, PullSequencer::ChunkPlan& plan);
    HRESULT ForwardEndOfStream();
    HRESULT ForwardBeginFlush();
    HRESULT ForwardEndFlush();

    // Seeking. Kinds: a new start, a new stop, a new rate.
    enum RepositionKind : int { kNewStart = 0, kNewStop = 1, kNewRate = 2 };
    HRESULT Reposition(int kind);

private:
    // The failure path of DeliverChunk: end of stream downstream and
    // EC_ERRORABORT to the graph. Under the delivery lock, as is the one below.
    HRESULT AbortStreamLocked(HRESULT error);
    // The next output buffer: S_OK, S_FALSE while downstream stops, or a
    // failure already reported.
    HRESULT EmptySampleLocked(ComPtr<IMediaSample>& sample);

    CriticalSection seekLock_;     // one reposition at a time; never taken by the pull thread
    CriticalSection filterLock_;   // state, pins, file offset, header load
    CriticalSection deliveryLock_; // one chunk delivered at a time; end of stream; output stop
    // Both pins are set once under the filter lock, before either is handed
    // out, and kept until destruction: read without the lock afterwards.
    std::unique_ptr<ParserOutputPin> outputPin_;
    std::unique_ptr<ParserInputPin> inputPin_;
    // Guards header_ and planner_; a leaf: nothing is called while it is held.
    CriticalSection planLock_;
    AdxHeader header_;      // plan lock: the loaded header, loop records as stored
    StreamPlanner planner_; // plan lock: loop choice, timeline and pass state
};
