// The ADX parser filter, "VAZ Iraz Ozadiz". Its input pin pulls an ADX stream
// from an upstream file reader; the filter loads the header when the input
// connects, repacks the pulled chunks into whole-frame, timestamped samples
// for its output pin, plays a chosen loop seamlessly (the LoopWorker thread
// repositions the reader at each loop end) and answers seeking through the
// output pin.
//
// Locks, always taken in this order (a thread may skip any of them):
//   filter lock -> PullReader lock -> delivery lock -> loop lock.
// Stop and seeking take the filter lock before they reach the PullReader
// (whose Seek flushes through the input pin, which takes the filter lock
// again). The LoopWorker's loop jump takes no filter lock at all: it moves
// the PullReader without a flush, and it must not hold the filter lock while
// it waits for the pull thread, which may sit in a paused renderer's Receive
// until Run (which takes the filter lock) lets it go. A jump and Stop meet
// only at the PullReader's lock and run one after the other; Stop clears the
// pending jump first, so a jump that comes second does nothing. The
// PullReader thread never takes the filter lock, and it asks the LoopWorker
// for a jump only while no earlier request still waits for its jump, so it
// never waits for a LoopWorker that waits for it.
#pragma once

#include "adx/AdxHeader.h"
#include "framework/CriticalSection.h"
#include "framework/FilterBase.h"
#include "framework/WorkerThread.h"
#include "parser/StreamGeometry.h"

#include <corvina.h>

#include <ocidl.h>

#include <atomic>
#include <memory>

class ParserInputPin;
class ParserOutputPin;

class ParserFilter : public FilterBase,
                     public WorkerThread,
                     public IAdxParserControl,
                     public ISpecifyPropertyPages {
public:
    // The factory table's create function: a new filter with a count of 0, or
    // null and E_OUTOFMEMORY in *result.
    static UnknownBase* CreateInstance(IUnknown* outer, HRESULT* result);

    // Stores a failure in *result when the LoopWorker cannot be started.
    ParserFilter(IUnknown* outer, HRESULT* result);
    ~ParserFilter() override;

    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // FilterBase hooks.
    int PinCount() override;
    PinBase* PinAt(int index) override;

    // IMediaFilter
    HRESULT STDMETHODCALLTYPE Stop() override;

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
    // header this filter cannot play. Replaces the filter's header when
    // `store` and the header is good.
    HRESULT LoadHeader(std::int32_t headerLength, const BYTE* headerBytes, bool store);
    void ResetForNewStream();
    void ResetForDisconnect();
    bool IsOutputConnected() const;
    // The ADX media type for the loaded stream; VFW_S_NO_MORE_ITEMS when no
    // stream is loaded.
    HRESULT BuildMediaType(MediaTypeRecord& type);
    // The loaded stream's geometry (not usable while none is loaded).
    StreamGeometry Geometry();

    // Streaming (on the PullReader thread).
    CriticalSection& DeliveryLock() { return deliveryLock_; }
    HRESULT RepackSample(IMediaSample* chunk);
    HRESULT ForwardEndOfStream();
    HRESULT ForwardBeginFlush();
    HRESULT ForwardEndFlush();

    // Seeking. Kinds: a new start, a new stop, a new rate, a loop jump.
    enum RepositionKind : int { kNewStart = 0, kNewStop = 1, kNewRate = 2, kLoopJump = 3 };
    HRESULT Reposition(int kind);
    // The stream byte position x 10,000,000 of the frame that holds time t.
    LONGLONG TimeToStreamPosition(REFERENCE_TIME t);

protected:
    // The LoopWorker: idle except for loop jumps.
    DWORD ThreadMain() override;

private:
    enum : DWORD { kLoopWorkerExit = 0, kLoopWorkerJump = 1 };

    HRESULT LoopJump();
    // Ends a stream whose loop jump cannot happen: sends the end of stream
    // that was held back for it, or lets the coming one through.
    void EndHeldStream();
    // The failure path of RepackSample.
    HRESULT AbortStream(HRESULT error);
    bool LoopRecordChosen() const; // under the loop lock
    // Rate, times and loop state of a freshly connected stream; under the loop lock.
    void ResetPlaybackState();

    CriticalSection filterLock_;   // state, pins, file offset, header load
    CriticalSection deliveryLock_; // one chunk delivered at a time; end of stream; output stop
    std::unique_ptr<ParserOutputPin> outputPin_; // null until the pins are first asked for
    std::unique_ptr<ParserInputPin> inputPin_;   // null until the pins are first asked for
    std::atomic<bool> stopping_{false};          // ends the repacker's wait for buffers
    AdxHeader header_;
    // Guards the loop records, the loop fields and the header's replacement,
    // and also the stream timeline (streamTime_, seekBase_, playRate_), which
    // seeking changes while the repacker runs.
    CriticalSection loopLock_;
    bool loopEnabled_ = false;
    std::atomic<bool> loopJumpPending_{false}; // read without a lock by flush forwarding
    std::int32_t loopIndex_ = 0;
    LONGLONG streamTime_ = 0; // start time of the next output sample, 100-ns units
    LONGLONG seekBase_ = 0;   // stream byte position x 10,000,000 of the last requested start
    double playRate_ = 1.0;
    // A LoopWorker request is out and its jump has not yet begun.
    bool jumpRequested_ = false;
    // The end of stream of the run that reached the loop end came while the
    // jump was pending and was held back.
    bool endOfStreamHeld_ = false;
    // A seek cancelled a pending jump before that run's end of stream came:
    // it belongs to the abandoned pass and is dropped.
    bool swallowEndOfStream_ = false;
    // Changes at every new start position, so that a chunk of the run that
    // the seek abandons stops delivering instead of writing an old timeline.
    std::uint32_t timelineGeneration_ = 0;
};
