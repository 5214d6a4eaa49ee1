// The parser input pin's companion: owns the connection to the upstream
// filter's IAsyncReader, agrees a sample allocator with it, and runs a thread
// that reads the file between a start and a stop byte with the parser's pull
// loop (PullSequencer): chunk by chunk, each handed to the pin
// (ReceivePulled) to plan and deliver, then on, to a loop jump's range, or
// to the end. Positions are file byte positions; they become the pull
// model's sample times (bytes times 10,000,000) only on the reader's samples.
//
// The pull thread takes none of this object's locks; control calls hold the
// reader's lock while they wait for the thread.
#pragma once

#include "parser/PullSequencer.h"

#include "framework/com/ComPtr.h"
#include "framework/com/CriticalSection.h"
#include "framework/filters/WorkerThread.h"

#include <windows.h>
#include <strmif.h>

#include <functional>
#include <memory>

class ParserInputPin;

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
    // New range, byte positions in the upstream file. While pulling,
    // downstream is flushed and the thread paused around the change;
    // `whilePaused` (may be empty) runs under this reader's lock while no
    // chunk is in flight, after the flush and before the thread runs again.
    HRESULT Seek(LONGLONG startFileByte, LONGLONG stopFileByte,
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

    // The pull loop's I/O over the reader, the allocator and the pin.
    class ReadPort;

    DWORD ThreadMain(PullThread& thread);
    // One run over the current range, on the pulling thread.
    void Process(PullThread& thread);
    void ReportStreamError(HRESULT error);
    // Reads `lengthBytes` at `fileByte` into `sample`: how many arrived.
    HRESULT ReadSample(IMediaSample* sample, LONGLONG fileByte, LONG lengthBytes, LONG& bytesRead);

    ParserInputPin* const owner_; // not counted: the pin owns this reader
    // Serialises Connect, Disconnect, Active, Pause, Inactive and Seek. The
    // fields below are written under it, and only while the thread is idle
    // (paused or ended), so the thread reads them without it.
    CriticalSection lock_;
    ComPtr<IAsyncReader> reader_;        // +1 on the upstream reader while connected
    LONGLONG startFileByte_ = 0;         // first byte to read
    LONGLONG stopFileByte_ = 0;          // byte after the last one to read
    LONGLONG fileBytes_ = 0;             // file length
    DWORD state_ = kRequestExit;         // last command given to the thread
    ComPtr<IMemAllocator> allocator_;    // +1 on the agreed allocator while connected
    std::unique_ptr<PullThread> thread_; // null while no thread runs
    PullSequencer sequencer_;            // the pull thread's own
};
