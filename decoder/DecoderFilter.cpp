#include "decoder/DecoderFilter.h"

#include "adx/AdxDecoder.h"
#include "adx/AdxWaveFormat.h"
#include "framework/com/ResultMacros.h"
#include "framework/filters/TransformInputPin.h"
#include "framework/filters/TransformOutputPin.h"

#include <corvina.h>

#include <mmreg.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <new>

namespace {

constexpr std::int32_t kSamplesPerFrame = kAdxBlockSamples;
// The decoded size of the largest input sample the parser sends, whatever
// its channel count: every output buffer must hold it.
constexpr long kOutputSampleBytes =
    kAdxMaxBlocksPerSample * kAdxBlockSamples * static_cast<long>(sizeof(std::int16_t));
constexpr long kDefaultBufferCount = 3;

// The two decoding routines of one channel layout, behind one signature, so
// the frame walk below is written once.
struct MonoRoutines {
    static int Whole(std::int16_t* output, const BYTE* input, std::int32_t frameCount,
                     AdxChannelHistory* history, std::int16_t coef1, std::int16_t coef2,
                     std::int32_t* bytesWritten) {
        return DecodeFramesMono(output, input, frameCount, history[0], coef1, coef2, *bytesWritten);
    }
    static int Partial(std::int16_t* output, const BYTE* input, std::int32_t start,
                       std::int32_t end, AdxChannelHistory* history, std::int16_t coef1,
                       std::int16_t coef2, std::int32_t* bytesWritten) {
        return DecodePartialFrameMono(output, input, start, end, history[0], coef1, coef2,
                                      *bytesWritten);
    }
};
struct StereoRoutines {
    static int Whole(std::int16_t* output, const BYTE* input, std::int32_t frameCount,
                     AdxChannelHistory* history, std::int16_t coef1, std::int16_t coef2,
                     std::int32_t* bytesWritten) {
        return DecodeFramesStereo(output, input, frameCount, history[0], history[1], coef1, coef2,
                                  *bytesWritten);
    }
    static int Partial(std::int16_t* output, const BYTE* input, std::int32_t start,
                       std::int32_t end, AdxChannelHistory* history, std::int16_t coef1,
                       std::int16_t coef2, std::int32_t* bytesWritten) {
        return DecodePartialFrameStereo(output, input, start, end, history[0], history[1], coef1,
                                        coef2, *bytesWritten);
    }
};

// Which samples of a run of frames to deliver: the first frame from
// firstSample, the last frame up to (not including) lastEnd.
struct FrameSpan {
    long frameCount;
    std::int32_t firstSample; // 0 … 31
    std::int32_t lastEnd;     // 1 … 32
    bool whole;               // every sample of every frame
};

long SamplesPerChannel(const FrameSpan& span) {
    if (span.whole) {
        return kSamplesPerFrame * span.frameCount;
    }
    if (span.frameCount >= 2) {
        return (kSamplesPerFrame - span.firstSample) + kSamplesPerFrame * (span.frameCount - 2) +
               span.lastEnd;
    }
    if (span.frameCount == 1) {
        return span.lastEnd - span.firstSample;
    }
    return 0;
}

// Decodes the span at `output`; every call runs even after a failure, as the
// histories then stay where the failing call found them. Returns true when
// every call succeeded; bytesWritten is the sum the calls reported.
template <typename Routines>
bool DecodeSpan(const FrameSpan& span, const BYTE* input, std::int32_t frameBytes,
                std::int16_t* output, AdxChannelHistory* history, std::int16_t coef1,
                std::int16_t coef2, std::int32_t* bytesWritten) {
    std::int32_t total = 0;
    bool ok = true;
    const auto at = [&](std::int32_t bytes) {
        return output + bytes / static_cast<std::int32_t>(sizeof(std::int16_t));
    };
    std::int32_t produced = 0;
    if (span.whole) {
        ok = Routines::Whole(output, input, static_cast<std::int32_t>(span.frameCount), history,
                             coef1, coef2, &produced) == 0;
        total = produced;
    } else if (span.frameCount >= 2) {
        const long last = span.frameCount - 1;
        ok &= Routines::Partial(at(total), input, span.firstSample, kSamplesPerFrame, history,
                                coef1, coef2, &produced) == 0;
        total += produced;
        produced = 0;
        ok &= Routines::Whole(at(total), input + frameBytes, static_cast<std::int32_t>(last - 1),
                              history, coef1, coef2, &produced) == 0;
        total += produced;
        produced = 0;
        ok &= Routines::Partial(at(total), input + last * frameBytes, 0, span.lastEnd, history,
                                coef1, coef2, &produced) == 0;
        total += produced;
    } else {
        ok = Routines::Partial(output, input, span.firstSample, span.lastEnd, history, coef1, coef2,
                               &produced) == 0;
        total = produced;
    }
    *bytesWritten = total;
    return ok;
}

// The PCM type offered downstream for a stream.
HRESULT BuildOutputType(const DecoderFormatInfo& format, MediaTypeRecord* type) {
    const WORD blockAlign = static_cast<WORD>(format.channelCount * 16 / 8);
    WAVEFORMATEX wave = {};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(format.channelCount);
    wave.nSamplesPerSec = static_cast<DWORD>(format.sampleRate);
    wave.nAvgBytesPerSec = blockAlign * static_cast<DWORD>(format.sampleRate);
    wave.nBlockAlign = blockAlign;
    wave.wBitsPerSample = 16;
    wave.cbSize = 0;

    ReleaseContents(type);
    type->Reset();
    type->SetMajorType(MEDIATYPE_Audio);
    type->SetSubtype(MEDIASUBTYPE_PCM);
    type->SetSampleSize(kOutputSampleBytes);
    type->SetFormatType(FORMAT_WaveFormatEx);
    if (!type->SetFormat(reinterpret_cast<const BYTE*>(&wave), sizeof(wave))) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace

UnknownBase* DecoderFilter::CreateInstance(IUnknown* outer, HRESULT* result) {
    auto* filter = new (std::nothrow) DecoderFilter(outer);
    if (filter == nullptr) {
        *result = E_OUTOFMEMORY;
        return nullptr;
    }
    return filter;
}

DecoderFilter::DecoderFilter(IUnknown* outer)
    : TransformFilterBase(nullptr, outer, CLSID_AdxDecoderFilter) {}

DecoderFilter::~DecoderFilter() = default;

HRESULT STDMETHODCALLTYPE DecoderFilter::InnerQueryInterface(REFIID iid, void** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    if (IsEqualIID(iid, IID_ISpecifyPropertyPages)) {
        return HandOutInterface(static_cast<ISpecifyPropertyPages*>(this), out);
    }
    if (IsEqualIID(iid, IID_IDecoderInfo)) {
        return HandOutInterface(static_cast<IDecoderInfo*>(this), out);
    }
    return TransformFilterBase::InnerQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE DecoderFilter::GetStreamInfo(AdxFormatInfo* info) {
    RETURN_HR_IF_NULL(E_POINTER, info);
    auto guard = filterLock_.lock();
    info->version = formatInfo_.version;
    info->blockSize = formatInfo_.blockSize;
    info->bitsPerSample = formatInfo_.bitsPerSample;
    info->samplesPerBlock = formatInfo_.samplesPerBlock;
    info->channelCount = formatInfo_.channelCount;
    info->sampleRate = formatInfo_.sampleRate;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DecoderFilter::GetPages(CAUUID* pages) {
    RETURN_HR_IF_NULL(E_POINTER, pages);
    pages->cElems = 1;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, pages->pElems);
    pages->pElems[0] = CLSID_AdxDecoderPropertyPage;
    return S_OK;
}

HRESULT DecoderFilter::TransformSample(IMediaSample* input, IMediaSample* output) {
    const std::int32_t channelCount = formatInfo_.channelCount;
    const std::int32_t frameBytes = formatInfo_.blockSize * channelCount;
    // Only reachable before a format was accepted, i.e. by a caller bug.
    if (frameBytes <= 0) {
        return VFW_E_NOT_CONNECTED;
    }

    const long inputBytes = input->GetActualDataLength();
    if (inputBytes < 0 || inputBytes % frameBytes != 0) {
        return VFW_E_BADALIGN;
    }
    FrameSpan span = {};
    span.frameCount = inputBytes / frameBytes;
    // Larger than the parser ever sends, and than the buffers are sized for.
    if (span.frameCount * channelCount > kAdxMaxBlocksPerSample) {
        return VFW_E_BUFFER_OVERFLOW;
    }

    // The low five bits of the media times are sample indices within the
    // first and last frame; an end of 0 stands for the whole last frame.
    REFERENCE_TIME mediaStart = 0;
    REFERENCE_TIME mediaEnd = 0;
    if (FAILED(input->GetMediaTime(&mediaStart, &mediaEnd))) {
        mediaStart = 0;
        mediaEnd = 0;
    }
    span.firstSample = static_cast<std::int32_t>(mediaStart & 31);
    const std::int32_t endIndex = static_cast<std::int32_t>(mediaEnd & 31);
    span.lastEnd = endIndex == 0 ? kSamplesPerFrame : endIndex;
    span.whole = span.firstSample == 0 && endIndex == 0;

    // The routines do not know the buffer's size: refuse what would not fit
    // before anything is written.
    const long samplesPerChannel = SamplesPerChannel(span);
    const long outputBytes = samplesPerChannel > 0 ? samplesPerChannel * channelCount * 2 : 0;
    if (outputBytes > output->GetSize()) {
        return VFW_E_BUFFER_OVERFLOW;
    }

    BYTE* inputData = nullptr;
    RETURN_IF_FAILED(input->GetPointer(&inputData));
    BYTE* outputData = nullptr;
    RETURN_IF_FAILED(output->GetPointer(&outputData));

    const bool preroll = input->IsPreroll() == S_OK;
    // A seek's warm-up may span several preroll samples: only its first,
    // the discontinuous one, starts from the initial history.
    if (preroll && input->IsDiscontinuity() == S_OK) {
        history_[0] = formatInfo_.initialHistory[0];
        history_[1] = formatInfo_.initialHistory[1];
    }
    // No data, or a single frame whose range is empty or reversed: nothing
    // to decode and nothing to deliver, but no reason to fail the stream.
    if (samplesPerChannel <= 0) {
        return S_FALSE;
    }

    auto* pcm = reinterpret_cast<std::int16_t*>(outputData);
    std::int32_t bytesWritten = 0;
    const bool decoded =
        channelCount == 2
            ? DecodeSpan<StereoRoutines>(span, inputData, frameBytes, pcm, history_,
                                         formatInfo_.coef1, formatInfo_.coef2, &bytesWritten)
            : DecodeSpan<MonoRoutines>(span, inputData, frameBytes, pcm, history_,
                                       formatInfo_.coef1, formatInfo_.coef2, &bytesWritten);
    if (!decoded) {
        return VFW_E_FILE_TOO_SHORT;
    }
    if (preroll) {
        // Decoded only to warm the history up; the base drops the sample.
        return S_FALSE;
    }
    RETURN_IF_FAILED(output->SetActualDataLength(bytesWritten));
    RETURN_IF_FAILED(output->SetSyncPoint(TRUE));
    return S_OK;
}

HRESULT DecoderFilter::AcceptInputType(const AM_MEDIA_TYPE* type) {
    return ReadDecoderFormat(type, nullptr);
}

HRESULT DecoderFilter::AcceptTransform(const AM_MEDIA_TYPE* inputType,
                                       const AM_MEDIA_TYPE* outputType) {
    DecoderFormatInfo format = {};
    RETURN_IF_FAILED(ReadDecoderFormat(inputType, &format));
    MediaTypeRecord proposed;
    RETURN_IF_FAILED(BuildOutputType(format, &proposed));
    // A query only: the format changes when a connection is made.
    return outputType != nullptr && proposed.Equals(*outputType) ? S_OK : S_FALSE;
}

HRESULT DecoderFilter::FinishPinConnection(PIN_DIRECTION /*direction*/, IPin* /*peer*/) {
    return AdoptFormat(&inputPin_->ConnectionType());
}

HRESULT DecoderFilter::AdoptFormat(const AM_MEDIA_TYPE* inputType) {
    RETURN_IF_FAILED(ReadDecoderFormat(inputType, &formatInfo_));
    history_[0] = formatInfo_.initialHistory[0];
    history_[1] = formatInfo_.initialHistory[1];
    return S_OK;
}

HRESULT DecoderFilter::SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    // Downstream may ask for more, never for less: a smaller buffer could
    // not take the decoded PCM of one input sample, and the stream would stop.
    if (request->cbBuffer < kOutputSampleBytes) {
        request->cbBuffer = kOutputSampleBytes;
    }
    if (request->cBuffers == 0) {
        request->cBuffers = kDefaultBufferCount;
    }
    ALLOCATOR_PROPERTIES granted = {};
    RETURN_IF_FAILED(allocator->SetProperties(request, &granted));
    // A smaller count only slows the stream down; a smaller buffer would not
    // hold a decoded sample.
    if (granted.cbBuffer < request->cbBuffer) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT DecoderFilter::ProposeOutputType(int position, MediaTypeRecord* type) {
    if (inputPin_ == nullptr || !inputPin_->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    RETURN_HR_IF_NULL(E_POINTER, type);
    // From the connected input type, into a copy: proposing changes nothing.
    DecoderFormatInfo format = {};
    RETURN_IF_FAILED(ReadDecoderFormat(&inputPin_->ConnectionType(), &format));
    return BuildOutputType(format, type);
}
