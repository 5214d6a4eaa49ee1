#include "graph/FileReaderSource.h"

#include "framework/com/ResultMacros.h"

#include <new>

namespace {
// {8E4B2D71-3F6A-4C59-B1D8-7A0E9C2F5B36}: made only by this program, never
// registered.
constexpr CLSID kFileReaderSourceClassId = {
    0x8e4b2d71, 0x3f6a, 0x4c59, {0xb1, 0xd8, 0x7a, 0x0e, 0x9c, 0x2f, 0x5b, 0x36}};
} // namespace

HRESULT FileReaderSource::Create(const std::wstring& path, long long endBytes,
                                 ComPtr<IBaseFilter>& out) {
    // The parser reads front to back: the system may read ahead.
    FileHandle file = FileHandle::OpenForReading(path.c_str(), FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    auto* object = new (std::nothrow) FileReaderSource(std::move(file), endBytes);
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, object);
    if (!object->pin_) {
        delete object; // born with no reference
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = QueryNewObject(object, IID_IBaseFilter, out.put_void()); // +1 in out
    return hr;
}

FileReaderSource::FileReaderSource(FileHandle file, long long endBytes)
    : FilterBase(nullptr, &lock_, kFileReaderSourceClassId),
      pin_(new (std::nothrow) FileReaderPin(this, &lock_, std::move(file), endBytes)) {}

FileReaderSource::~FileReaderSource() {
    pin_.reset(); // before the lock it shares
}

HRESULT STDMETHODCALLTYPE FileReaderSource::Stop() {
    auto guard = lock_.lock();
    state_ = State_Stopped;
    return S_OK;
}
