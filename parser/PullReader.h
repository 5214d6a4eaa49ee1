// The parser input pin's companion: owns the connection to the upstream
// filter's IAsyncReader, agrees a sample allocator with it, and runs a thread
// that reads the file in consecutive chunks between a start and a stop
// position and hands each chunk to the pin (ReceivePulled), which answers
// what to read next: on, a loop jump's range, or nothing (end of stream).
// Range positions follow the pull model: byte positions times 10,000,000.
//
// The pull thread takes none of this object's locks; control calls hold the
// reader's lock while they wait for the thread.
#pragma once

#include "parser/StreamPlanner.h"

#include "framework/com/ComPtr.h"
#include "framework/com/CriticalSection.h"
#include "framework/filters/WorkerThread.h"

#include <windows.h>
#include <strmif.h>

#include <functional>
#include <memory>

class ParserInputPin;

// One chunk read by the pull thread, and the receiver's answer.
struct PulledChunk {
    LONGLONG fileByte = 0; // upstream file position of data[0]
    const BYTE* data = nullptr;
    LONG lengthBytes = 0;       // bytes actually read
    bool discontinuity = false; // the first chunk of a run or a jump
    bool endOfData = false;     // the range or the file ends with it
    // Filled in by the receiver.
    LONG consumedBytes = 0; // the rest is read again as the next chunk's start
    StreamPlanner::Action action = StreamPlanner::Action::kContinue;
    LONGLONG jumpStartFileByte = 0; // for a jump: the range to read next
    LONGLONG jumpStopFileByte = 0;
};

class PullReader {
public:
    // `owner` owns this reader and outlives it.
    explicit PullReader(ParserInputPin* owner);
    virtual ~PullReader();

    PullReader(const PullReader&) = delete;
    PullReader& operator=(const PullReader&) = delete;

    // Takes the peer's IAsyncReader and an allocator for it; the range
    // becomes [file offset, end of file).
    HRESULT Connect(IPin* peer);
    HRESULT Disconnect();
    // Starts pulling (commits the allocator and starts the thread first).
    HRESULT Active();
    // Stops pulling; the thread stays.
    HRESULT Pause();
    // Stops pulling, ends the thread and decommits the allocator.
    HRESULT Inactive();
    // New range, absolute positions in the upstream file times 10,000,000.
    // While pulling, downstream is flushed and the thread paused around the
    // change; `whilePaused` (may be empty) runs under this reader's lock while
    // no chunk is in flight, after the flush and before the thread runs again.
    HRESULT Seek(LONGLONG startPosition, LONGLONG stopPosition,
                 const std::function<void()>& whilePaused);

    // The connected reader, not counted; null while unconnected.
    IAsyncReader* Reader() const { return reader_.get(); }

protected:
    // Agrees the allocator with the reader. Without proposed properties it
    // asks for 4 buffers of 65,536 bytes.
    virtual HRESULT ChooseAllocator(IMemAllocator* proposed,
                                    const ALLOCATOR_PROPERTIES* proposedProperties);

private:
    // Thread requests.
    enum : DWORD { kRequestPause = 0, kRequestRun = 1, kRequestExit = 2 };

    // The pulling thread. Inactive ends it and waits for it by destroying
    // this object, which is how a WorkerThread is joined.
    class PullThread : public WorkerThread {
    public:
        explicit PullThread(PullReader& reader) : reader_(reader) {}
        DWORD ThreadMain() override { return reader_.ThreadMain(*this); }
        using WorkerThread::Answer;
        using WorkerThread::PollRequest;
        using WorkerThread::WaitRequest;

    private:
        PullReader& reader_;
    };

    HRESULT ActiveLocked();
    HRESULT PauseLocked();
    HRESULT InactiveLocked();

    DWORD ThreadMain(PullThread& thread);
    // One run over the current range, on the pulling thread.
    void Process(PullThread& thread);
    void ReportStreamError(HRESULT error);
    // How many of `requestedBytes` at `position` a short read delivered.
    LONG BytesAvailable(LONGLONG position, LONG requestedBytes);

    ParserInputPin* const owner_; // not counted: the pin owns this reader
    // Serialises Connect, Disconnect, Active, Pause, Inactive and Seek. The
    // fields below are written under it, and only while the thread is idle
    // (paused or ended), so the thread reads them without it.
    CriticalSection lock_;
    ComPtr<IAsyncReader> reader_;        // +1 on the upstream reader while connected
    LONGLONG start_ = 0;                 // first byte to read x 10,000,000
    LONGLONG stop_ = 0;                  // byte after the last one to read x 10,000,000
    LONGLONG duration_ = 0;              // file length x 10,000,000
    DWORD state_ = kRequestExit;         // last command given to the thread
    ComPtr<IMemAllocator> allocator_;    // +1 on the agreed allocator while connected
    std::unique_ptr<PullThread> thread_; // null while no thread runs
};
