// The output pin of FileReaderSource: hands the file to a pulling parser
// through IAsyncReader. Reads are plain synchronous reads at the asked
// position; Request reads at once and queues the sample for WaitForNext.
#pragma once

#include "files/FileHandle.h"

#include "framework/filters/PinBase.h"

#include <deque>

class FileReaderPin : public PinBase, public IAsyncReader {
public:
    // `file` is open for reading and stays with the pin; the pin offers its
    // bytes up to `endBytes` (negative: all).
    FileReaderPin(FilterBase* filter, CriticalSection* lock, FileHandle file, LONGLONG endBytes);
    // Releases the samples that no WaitForNext collected.
    ~FileReaderPin() override;

    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // PinBase hooks: one type, a byte stream of any subtype.
    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
    HRESULT ProposeType(int position, MediaTypeRecord* type) override;
    HRESULT DropConnection() override { return S_OK; }

    // IPin: an output pin takes no end of stream.
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }

    // IAsyncReader (its BeginFlush and EndFlush also answer IPin's, which a
    // graph never calls on an output pin)
    HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* preferred,
                                               ALLOCATOR_PROPERTIES* properties,
                                               IMemAllocator** actual) override;
    HRESULT STDMETHODCALLTYPE Request(IMediaSample* sample, DWORD_PTR user) override;
    HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeoutMs, IMediaSample** sample,
                                          DWORD_PTR* user) override;
    HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

private:
    struct Done {
        IMediaSample* sample; // +1 while queued
        DWORD_PTR user;
        HRESULT result;
    };
    // Reads the byte range of `sample`'s times into it.
    HRESULT ReadInto(IMediaSample* sample);

    CriticalSection readLock_; // guards the fields below and the file position
    const FileHandle file_;
    const LONGLONG endBytes_; // negative: the file's end
    std::deque<Done> done_;
    bool flushing_ = false;
};
