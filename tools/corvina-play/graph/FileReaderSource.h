// A file source for the conversion graph: one output pin that gives a
// pulling parser the bytes of a file through plain synchronous reads, with
// buffers from a SampleAllocator. Playback keeps the runtime's own source.
#pragma once

#include "graph/FileReaderPin.h"

#include "framework/com/ComPtr.h"
#include "framework/com/CriticalSection.h"
#include "framework/filters/FilterBase.h"

#include <memory>
#include <string>

class FileReaderSource : public FilterBase {
public:
    // A new source reading `path` up to `endBytes` (negative: to its end),
    // with one reference in *out; the system's error when the file cannot be
    // opened.
    static HRESULT Create(const std::wstring& path, long long endBytes, ComPtr<IBaseFilter>& out);
    ~FileReaderSource() override;

    DECLARE_DELEGATING_UNKNOWN

    // IMediaFilter: nothing streams on a thread of its own here.
    HRESULT STDMETHODCALLTYPE Stop() override;

    // FilterBase hooks
    int PinCount() override { return 1; }
    PinBase* PinAt(int index) override { return index == 0 ? pin_.get() : nullptr; }

private:
    FileReaderSource(FileHandle file, long long endBytes);

    CriticalSection lock_;
    std::unique_ptr<FileReaderPin> pin_;
};
