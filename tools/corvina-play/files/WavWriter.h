// A 16-bit PCM RIFF/WAVE file written front to back through a large stdio
// buffer. The header goes out first with the sizes 0xFFFFFFFF (unknown, as
// streamed WAV has them) and is rewritten with the real sizes by Finish
// where the output can be positioned; a file never finished is removed.
// A loop set before Finish follows the data as a `smpl` chunk, where the
// sizes can be rewritten: after data of unknown size (a pipe) no reader
// would find it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

class WavWriter {
public:
    WavWriter() = default;
    // Closes and removes a file that Finish did not complete.
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates `path` (replacing a file of that name) and writes the header
    // for this format. False with the reason in `error`.
    bool Open(const std::wstring& path, int channelCount, int sampleRate, std::string& error);
    // The same on standard output, switched to binary; it is flushed, not
    // closed, by Finish.
    bool OpenStandardOutput(int channelCount, int sampleRate, std::string& error);
    // Appends PCM bytes. False with the reason in `error`; the file is then
    // unusable and only Discard (or the destructor) remains.
    bool Write(const void* bytes, size_t byteCount, std::string& error);
    // The loop [startFrame, endFrame) in sample frames, for a `smpl` chunk
    // that Finish writes when the data holds the whole loop.
    void SetLoop(unsigned long long startFrame, unsigned long long endFrame) {
        loopStartFrame_ = startFrame;
        loopEndFrame_ = endFrame;
    }
    // Rewrites the header with the sizes and closes the file. False with the
    // reason in `error` (the file is then removed).
    bool Finish(std::string& error);
    // Closes and removes the file (only a regular file: never a device that
    // the output path named).
    void Discard();

    unsigned long long DataBytes() const { return dataBytes_; }

    // The most PCM a WAV file holds: its sizes are 32-bit, and the RIFF size
    // counts 36 header bytes and a smpl chunk of one loop (68 bytes) too.
    static constexpr unsigned long long kMaxPcmBytes = 0xFFFFFFFFull - 36 - 68;

private:
    bool Start(int channelCount, int sampleRate, std::string& error);
    // With the sizes known (`final`) or as unknown.
    bool WriteHeader(bool final, std::string& error);
    // Whether a smpl chunk follows the data, and appends it.
    bool HasLoop() const;
    bool WriteLoop(std::string& error);

    std::FILE* file_ = nullptr;
    std::wstring path_;
    bool regularFile_ = false;
    bool standardOutput_ = false;
    int channelCount_ = 0;
    int sampleRate_ = 0;
    unsigned long long dataBytes_ = 0;
    unsigned long long loopStartFrame_ = 0;
    unsigned long long loopEndFrame_ = 0; // 0: no loop
};
