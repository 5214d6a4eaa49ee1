#include "SpyAllocator.h"

namespace decodertest {

HRESULT STDMETHODCALLTYPE SpyAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                                  REFERENCE_TIME* stop, DWORD flags) {
    {
        std::lock_guard<std::mutex> guard(mutex);
        requestFlags.push_back(flags);
        requestHadStart.push_back(start != nullptr);
        requestHadStop.push_back(stop != nullptr);
    }
    return inner->GetBuffer(sample, start, stop, flags);
}

} // namespace decodertest
