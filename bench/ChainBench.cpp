// Playback chain throughput: a long stereo 44.1 kHz ADX file played through
// the runtime's file source -> ParserFilter -> DecoderFilter -> the runtime's
// null renderer, without a reference clock, so the graph runs as fast as it
// can. Reports the real-time factor (seconds of audio per second of wall
// time) of each run and the best one, and for comparison the ADX core
// decoding the same frames alone and the cost of one buffer from the
// runtime's memory allocator (each parser buffer takes two such buffers).
// Then the seek latency: in the paused graph, the time from SetPositions
// with a new start and stop until the renderer holds the first decoded
// sample from there (the graph's GetState answers S_OK again).
//
//   chain_bench [SECONDS [RUNS]]      default: 600 s of audio (at least 2), 3 runs
//
// A Windows program: run it under Wine with the build tree's runner
// (`BUILD/wine-run BUILD/bench/chain_bench.exe`), or with bench/chain-bench.sh.
#include "adx/AdxEncoder.h"
#include "TestSignal.h"

#include "adx/AdxDecoder.h"
#include "decoder/DecoderFilter.h"
#include "framework/com/ComPtr.h"
#include "parser/ParserFilter.h"

// The standard headers first: dshow.h's strsafe.h renames the C library's
// string formatting functions that <string> uses.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>
#include <dshow.h>
#include <evcode.h>

namespace {

constexpr std::int32_t kRate = 44100;
constexpr std::int32_t kChannels = 2;
// The runtime's null renderer; the toolchain's headers do not declare it.
constexpr CLSID kNullRendererClassId = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
constexpr long kCompletionTimeoutMs = 600000;
constexpr int kSeeks = 200;
constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;

// Real encoded audio, a sweep under some noise so that block scales vary:
// 20 s of it encoded once and its frames repeated up to `seconds`, with the
// header's total sample count (big-endian at byte 0x0C) made to match. The
// decoder's history runs on across the repeats as across any frames.
bool MakeStream(std::int32_t seconds, std::vector<std::uint8_t>& bytes) {
    constexpr std::int32_t kTileSamples = 32 * 27560; // about 20 s, whole frames
    std::vector<std::int16_t> signal =
        MakeSweepSignal(kChannels, kRate, kTileSamples, 40.0, 16000.0, 20000);
    const std::vector<std::int16_t> noise = MakeNoiseSignal(kChannels, kTileSamples, 2000, 7);
    for (std::size_t i = 0; i < signal.size(); ++i) {
        signal[i] = static_cast<std::int16_t>(signal[i] + noise[i]);
    }
    AdxEncoderOptions options;
    options.channelCount = kChannels;
    options.sampleRate = kRate;
    AdxEncodedStream tile;
    if (AdxEncoder(options).Encode(signal, tile) != AdxEncodeStatus::kOk) {
        return false;
    }
    const auto totalSamples = static_cast<std::uint32_t>(seconds) * kRate;
    const std::size_t frameBytes = 18 * kChannels;
    const std::size_t frames = (totalSamples + 31) / 32;
    const auto tileBegin = tile.bytes.begin() + tile.headerLength;
    bytes.assign(tile.bytes.begin(), tileBegin);
    while (bytes.size() < tile.headerLength + frames * frameBytes) {
        const std::size_t wanted = tile.headerLength + frames * frameBytes - bytes.size();
        const std::size_t tileBytes = tile.bytes.size() - tile.headerLength;
        bytes.insert(bytes.end(), tileBegin,
                     tileBegin + static_cast<std::ptrdiff_t>(std::min(wanted, tileBytes)));
    }
    for (int i = 0; i < 4; ++i) {
        bytes[0x0C + i] = static_cast<std::uint8_t>(totalSamples >> (24 - 8 * i));
    }
    return true;
}

bool WriteFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

// A filter of the module as its factory makes it, with one reference.
template <typename Filter> ComPtr<IBaseFilter> CreateModuleFilter() {
    HRESULT result = S_OK;
    UnknownBase* object = Filter::CreateInstance(nullptr, &result);
    ComPtr<IBaseFilter> filter;
    if (object != nullptr) {
        object->InnerAddRef();
        if (SUCCEEDED(result)) {
            object->InnerQueryInterface(IID_IBaseFilter, filter.put_void());
        }
        object->InnerRelease();
    }
    return filter;
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
    ComPtr<IEnumPins> pins;
    ComPtr<IPin> pin;
    if (SUCCEEDED(filter->EnumPins(pins.put()))) {
        while (pins->Next(1, pin.put(), nullptr) == S_OK) {
            PIN_DIRECTION pinDirection = PINDIR_INPUT;
            if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
                return pin;
            }
        }
    }
    return {};
}

struct Chain {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> parser;
    ComPtr<IBaseFilter> decoder;
    ComPtr<IBaseFilter> renderer;
};

// Builds and connects the chain for `path`; the failing step's name on failure.
const char* BuildChain(const std::wstring& path, Chain& chain) {
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                chain.graph.put_void())) ||
        FAILED(chain.graph.query_to(chain.control)) ||
        FAILED(chain.graph->QueryInterface(IID_IMediaEvent, chain.events.put_void()))) {
        return "filter graph";
    }
    ComPtr<IMediaFilter> graphFilter;
    if (FAILED(chain.graph.query_to(graphFilter)) || FAILED(graphFilter->SetSyncSource(nullptr))) {
        return "no clock";
    }
    ComPtr<IFileSourceFilter> fileSource;
    if (FAILED(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                chain.source.put_void())) ||
        FAILED(chain.source.query_to(fileSource)) ||
        FAILED(fileSource->Load(path.c_str(), nullptr))) {
        return "file source";
    }
    chain.parser = CreateModuleFilter<ParserFilter>();
    chain.decoder = CreateModuleFilter<DecoderFilter>();
    if (!chain.parser || !chain.decoder) {
        return "parser and decoder";
    }
    if (FAILED(CoCreateInstance(kNullRendererClassId, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IBaseFilter, chain.renderer.put_void()))) {
        return "null renderer";
    }
    if (FAILED(chain.graph->AddFilter(chain.source.get(), L"source")) ||
        FAILED(chain.graph->AddFilter(chain.parser.get(), L"parser")) ||
        FAILED(chain.graph->AddFilter(chain.decoder.get(), L"decoder")) ||
        FAILED(chain.graph->AddFilter(chain.renderer.get(), L"renderer"))) {
        return "adding the filters";
    }
    ComPtr<IPin> parserOut;
    if (FAILED(chain.graph->ConnectDirect(FirstPin(chain.source.get(), PINDIR_OUTPUT).get(),
                                          FirstPin(chain.parser.get(), PINDIR_INPUT).get(),
                                          nullptr)) ||
        FAILED(chain.parser->FindPin(L"Out", parserOut.put())) ||
        FAILED(chain.graph->ConnectDirect(
            parserOut.get(), FirstPin(chain.decoder.get(), PINDIR_INPUT).get(), nullptr)) ||
        FAILED(chain.graph->ConnectDirect(FirstPin(chain.decoder.get(), PINDIR_OUTPUT).get(),
                                          FirstPin(chain.renderer.get(), PINDIR_INPUT).get(),
                                          nullptr))) {
        return "connecting the chain";
    }
    return nullptr;
}

// The buffers agreed on for `filter`'s input pin.
ALLOCATOR_PROPERTIES BuffersOf(IBaseFilter* filter) {
    ALLOCATOR_PROPERTIES properties = {};
    ComPtr<IMemInputPin> input;
    ComPtr<IMemAllocator> allocator;
    ComPtr<IPin> pin = FirstPin(filter, PINDIR_INPUT);
    if (pin && SUCCEEDED(pin.query_to(input)) && SUCCEEDED(input->GetAllocator(allocator.put()))) {
        allocator->GetProperties(&properties);
    }
    return properties;
}

// Takes the queued events until EC_COMPLETE or until `timeoutMs` passed;
// true when EC_COMPLETE came. (The runtime's queue answers E_ABORT at once
// when its signal was left set by an earlier reader: waiting goes on.)
bool TakeEventsUntilComplete(IMediaEvent* events, long timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        long code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        const HRESULT taken = events->GetEvent(&code, &param1, &param2,
                                               static_cast<long>(std::max<long long>(left, 0)));
        if (taken == S_OK) {
            events->FreeEventParams(code, param1, param2);
            if (code == EC_COMPLETE) {
                return true;
            }
        } else if (left <= 0) {
            return false;
        } else {
            Sleep(1);
        }
    }
}

// One run from the start to the renderer's completion; wall seconds, or a
// negative value when the run fails. (The runtime's WaitForCompletion still
// answers with the completion of an earlier run, so the events themselves
// are taken.)
double TimeOneRun(Chain& chain) {
    TakeEventsUntilComplete(chain.events.get(), 0);
    const auto started = std::chrono::steady_clock::now();
    if (FAILED(chain.control->Run())) {
        return -1.0;
    }
    const bool complete = TakeEventsUntilComplete(chain.events.get(), kCompletionTimeoutMs);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    chain.control->Stop(); // the next Run reads from the start again
    return complete ? seconds : -1.0;
}

// Seeks the paused chain `kSeeks` times, each to a new start with a stop 1 s
// after it, and times each SetPositions until the renderer is cued again, in
// microseconds, sorted; empty when a seek or the cueing fails.
std::vector<double> TimeSeeks(Chain& chain, int seconds) {
    std::vector<double> latencies;
    ComPtr<IMediaSeeking> seeking;
    if (FAILED(chain.graph.query_to(seeking)) || FAILED(chain.control->Pause())) {
        return latencies;
    }
    OAFilterState state = State_Stopped;
    if (chain.control->GetState(10000, &state) != S_OK) {
        return latencies;
    }
    std::uint32_t random = 12345;
    for (int i = 0; i < kSeeks; ++i) {
        random = random * 1103515245U + 12345U;
        REFERENCE_TIME current =
            (random >> 8) % (static_cast<std::uint32_t>(seconds) - 1) * kUnitsPerSecond;
        REFERENCE_TIME stop = current + kUnitsPerSecond;
        const auto started = std::chrono::steady_clock::now();
        if (FAILED(seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &stop,
                                         AM_SEEKING_AbsolutePositioning)) ||
            chain.control->GetState(10000, &state) != S_OK) {
            latencies.clear();
            break;
        }
        latencies.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started)
                .count());
    }
    chain.control->Stop();
    std::sort(latencies.begin(), latencies.end());
    return latencies;
}

// For comparison: the ADX core alone over the same frames, in pieces of
// `framesPerPiece` frames as the parser would deliver them; wall seconds.
double TimeCoreDecode(const std::vector<std::uint8_t>& stream, std::int32_t framesPerPiece) {
    const std::size_t headerLength = (std::size_t{stream[2]} << 8 | stream[3]) + 4;
    const std::size_t frameBytes = 18 * kChannels;
    const auto frames = static_cast<std::int32_t>((stream.size() - headerLength) / frameBytes);
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(framesPerPiece) * 32 * kChannels);
    AdxChannelHistory history[2];
    const auto started = std::chrono::steady_clock::now();
    for (std::int32_t frame = 0; frame < frames; frame += framesPerPiece) {
        std::int32_t bytes = 0;
        DecodeFramesStereo(pcm.data(), stream.data() + headerLength + frame * frameBytes,
                           std::min(framesPerPiece, frames - frame), history[0], history[1], 7334,
                           -3283, bytes);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// For comparison: one GetBuffer and release of the runtime's memory
// allocator, in microseconds.
double TimeAllocatorRoundTrip() {
    ComPtr<IMemAllocator> allocator;
    ALLOCATOR_PROPERTIES request = {3, 8460, 1, 0};
    ALLOCATOR_PROPERTIES granted = {};
    if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IMemAllocator, allocator.put_void())) ||
        FAILED(allocator->SetProperties(&request, &granted)) || FAILED(allocator->Commit())) {
        return -1.0;
    }
    constexpr int kRounds = 20000;
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        ComPtr<IMediaSample> sample;
        if (FAILED(allocator->GetBuffer(sample.put(), nullptr, nullptr, 0))) {
            return -1.0;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    allocator->Decommit();
    return seconds * 1e6 / kRounds;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (seconds < 2 || runs <= 0) {
        std::fprintf(stderr, "usage: chain_bench [SECONDS [RUNS]]\n");
        return 2;
    }
    WCHAR directory[MAX_PATH] = {};
    WCHAR name[MAX_PATH] = {};
    if (GetTempPathW(MAX_PATH, directory) == 0 ||
        GetTempFileNameW(directory, L"adx", 0, name) == 0) {
        std::fprintf(stderr, "chain_bench: no temporary file name\n");
        return 1;
    }
    const std::wstring path = name;
    std::vector<double> factors;
    int status = 1;
    bool comInitialised = false;
    std::vector<std::uint8_t> streamBytes;
    if (!MakeStream(seconds, streamBytes)) {
        std::fprintf(stderr, "chain_bench: cannot encode %d s of audio\n", seconds);
        goto cleanup;
    }
    if (!WriteFile(path, streamBytes)) {
        std::fprintf(stderr, "chain_bench: cannot write %ls\n", path.c_str());
        goto cleanup;
    }
    std::printf("%d s of stereo 44.1 kHz ADX, %zu bytes\n", seconds, streamBytes.size());
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "chain_bench: no COM apartment\n");
        goto cleanup;
    }
    comInitialised = true;
    {
        Chain chain;
        if (const char* failed = BuildChain(path, chain)) {
            std::fprintf(stderr, "chain_bench: %ls: %s failed\n", path.c_str(), failed);
            goto cleanup;
        }
        const ALLOCATOR_PROPERTIES adx = BuffersOf(chain.decoder.get());
        const ALLOCATOR_PROPERTIES pcm = BuffersOf(chain.renderer.get());
        std::printf("file source -> parser (%ld x %ld bytes) -> decoder (%ld x %ld bytes) -> "
                    "null renderer, no clock\n",
                    adx.cBuffers, adx.cbBuffer, pcm.cBuffers, pcm.cbBuffer);
        for (int run = 0; run < runs; ++run) {
            const double wall = TimeOneRun(chain);
            if (wall <= 0.0) {
                std::fprintf(stderr, "chain_bench: %ls: run %d did not complete\n", path.c_str(),
                             run + 1);
                goto cleanup;
            }
            factors.push_back(seconds / wall);
            std::printf("run %d: %.3f s wall, %.0fx real time, %.1f us per parser buffer\n",
                        run + 1, wall, seconds / wall,
                        adx.cbBuffer > 0 ? wall * 1e6 * adx.cbBuffer /
                                               (seconds * (kRate / 32.0) * 18 * kChannels)
                                         : 0.0);
        }
        const std::vector<double> seeks = TimeSeeks(chain, seconds);
        if (seeks.empty()) {
            std::fprintf(stderr, "chain_bench: %ls: a seek in the paused chain failed\n",
                         path.c_str());
            goto cleanup;
        }
        std::printf("seek latency, SetPositions (start and stop) to the first decoded sample "
                    "in the paused renderer, %d seeks: best %.0f us, median %.0f us, 90th "
                    "percentile %.0f us\n",
                    kSeeks, seeks.front(), seeks[seeks.size() / 2], seeks[seeks.size() * 9 / 10]);
    }
    std::printf("for comparison: the ADX core alone, 235 frames a call: %.0fx real time; "
                "the runtime allocator's GetBuffer and release: %.1f us\n",
                seconds / TimeCoreDecode(streamBytes, 235), TimeAllocatorRoundTrip());
    std::sort(factors.begin(), factors.end());
    std::printf("best %.0fx, median %.0fx real time (target: at least 2000x)\n", factors.back(),
                factors[factors.size() / 2]);
    status = 0;
cleanup:
    if (comInitialised) {
        CoUninitialize();
    }
    DeleteFileW(path.c_str());
    return status;
}
