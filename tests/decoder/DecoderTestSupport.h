// Shared pieces of the decoder tests: COM set-up, the ADX input type as the
// parser builds it, the PCM type the decoder should propose, buffers from the
// runtime's own memory allocator and synthetic ADX frames.
#pragma once

#include "ComTest.h"
#include "GraphHelpers.h"

#include <corvina.h>

#include "framework/com/ComPtr.h"
#include "framework/media/MediaTypeRecord.h"

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace decodertest {

using testgraph::ComTest;

// The fields of the 34-byte ADX format block that a test may vary.
struct AdxFormatFields {
    std::uint16_t formatTag = 0x8003;
    std::uint16_t channelCount = 1;
    std::uint32_t sampleRate = 44100;
    std::uint16_t blockAlign = 0; // 0: 18 × channelCount
    std::uint16_t bitsPerSample = 4;
    std::uint16_t version = 3;
    std::uint16_t samplesPerBlock = 32;
    std::int16_t coef1 = 7334;
    std::int16_t coef2 = -3283;
    std::int16_t history[4] = {0, 0, 0, 0}; // ch0 prev1, ch0 prev2, ch1 prev1, ch1 prev2
    std::uint32_t formatBytes = 34;         // the block's length as announced
};

inline void PutU16(std::vector<BYTE>& bytes, size_t offset, unsigned value) {
    bytes[offset] = static_cast<BYTE>(value & 0xFF);
    bytes[offset + 1] = static_cast<BYTE>((value >> 8) & 0xFF);
}

// The ADX media type with an AdxWaveFormat block built byte by byte.
inline void MakeAdxType(const AdxFormatFields& fields, MediaTypeRecord* type) {
    std::vector<BYTE> block(34, 0);
    const unsigned blockAlign =
        fields.blockAlign != 0 ? fields.blockAlign : 18u * fields.channelCount;
    PutU16(block, 0, fields.formatTag);
    PutU16(block, 2, fields.channelCount);
    PutU16(block, 4, fields.sampleRate & 0xFFFF);
    PutU16(block, 6, fields.sampleRate >> 16);
    const std::uint32_t avg = blockAlign * fields.sampleRate / 32;
    PutU16(block, 8, avg & 0xFFFF);
    PutU16(block, 10, avg >> 16);
    PutU16(block, 12, blockAlign);
    PutU16(block, 14, fields.bitsPerSample);
    PutU16(block, 16, 16);
    PutU16(block, 18, fields.version);
    PutU16(block, 20, fields.samplesPerBlock);
    PutU16(block, 22, static_cast<std::uint16_t>(fields.coef1));
    PutU16(block, 24, static_cast<std::uint16_t>(fields.coef2));
    for (int i = 0; i < 4; ++i) {
        PutU16(block, 26 + 2 * i, static_cast<std::uint16_t>(fields.history[i]));
    }
    block.resize(fields.formatBytes, 0);
    ReleaseContents(type);
    type->Reset();
    type->SetMajorType(MEDIATYPE_Audio);
    type->SetSubtype(MEDIASUBTYPE_Adx);
    type->SetSampleSize(18u * 512);
    type->SetFormatType(FORMAT_WaveFormatEx);
    ASSERT_TRUE(type->SetFormat(block.data(), static_cast<ULONG>(block.size())));
}

// The 16-bit PCM type that the decoder must propose for a stream.
inline void MakePcmType(int channelCount, DWORD sampleRate, MediaTypeRecord* type) {
    WAVEFORMATEX wave = {};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(channelCount);
    wave.nSamplesPerSec = sampleRate;
    wave.nBlockAlign = static_cast<WORD>(2 * channelCount);
    wave.nAvgBytesPerSec = sampleRate * wave.nBlockAlign;
    wave.wBitsPerSample = 16;
    ReleaseContents(type);
    type->Reset();
    type->SetMajorType(MEDIATYPE_Audio);
    type->SetSubtype(MEDIASUBTYPE_PCM);
    type->SetSampleSize(32768);
    type->SetFormatType(FORMAT_WaveFormatEx);
    ASSERT_TRUE(type->SetFormat(reinterpret_cast<const BYTE*>(&wave), sizeof(wave)));
}

// A committed runtime memory allocator handing out `count` buffers of `bytes`.
inline ComPtr<IMemAllocator> MakeAllocator(long count, long bytes) {
    ComPtr<IMemAllocator> allocator;
    if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IMemAllocator, allocator.put_void()))) {
        return {};
    }
    ALLOCATOR_PROPERTIES request = {count, bytes, 1, 0};
    ALLOCATOR_PROPERTIES granted = {};
    if (FAILED(allocator->SetProperties(&request, &granted)) || FAILED(allocator->Commit())) {
        return {};
    }
    return allocator;
}

// A sample holding `data`, with media times and the preroll flag set.
inline ComPtr<IMediaSample> MakeInputSample(IMemAllocator* allocator, const BYTE* data,
                                            long dataBytes, LONGLONG mediaStart, LONGLONG mediaEnd,
                                            bool preroll = false, bool withMediaTime = true) {
    ComPtr<IMediaSample> sample;
    if (FAILED(allocator->GetBuffer(sample.put(), nullptr, nullptr, 0))) {
        return {};
    }
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    if (dataBytes > 0) {
        CopyMemory(buffer, data, dataBytes);
    }
    sample->SetActualDataLength(dataBytes);
    if (withMediaTime) {
        sample->SetMediaTime(&mediaStart, &mediaEnd);
    }
    // A preroll sample here is a seek's first: the decoder resets on it.
    sample->SetPreroll(preroll ? TRUE : FALSE);
    sample->SetDiscontinuity(preroll ? TRUE : FALSE);
    return sample;
}

// Random but valid ADX frames: scale words below 0x1000 (bit 15 clear),
// random codes. `frameBytes` is 18 × channels.
inline std::vector<BYTE> MakeFrames(int frameCount, int channelCount, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<BYTE> data(static_cast<size_t>(frameCount) * 18 * channelCount);
    for (size_t block = 0; block < data.size() / 18; ++block) {
        BYTE* bytes = &data[block * 18];
        const unsigned scale = random() % 0x0400;
        bytes[0] = static_cast<BYTE>(scale >> 8);
        bytes[1] = static_cast<BYTE>(scale & 0xFF);
        for (int i = 2; i < 18; ++i) {
            bytes[i] = static_cast<BYTE>(random());
        }
    }
    return data;
}

// Index of the first difference, or -1 when the two runs are equal (the
// shared comparison, here also for braced arguments).
inline long long FirstMismatch(const std::vector<std::int16_t>& actual,
                               const std::vector<std::int16_t>& expected) {
    return testgraph::FirstMismatch(actual, expected);
}

} // namespace decodertest
