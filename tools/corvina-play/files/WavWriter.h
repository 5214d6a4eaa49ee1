// A 16-bit PCM RIFF/WAVE file written front to back through a large stdio
// buffer. The header goes out first with the sizes 0xFFFFFFFF (unknown, as
// streamed WAV has them) and is rewritten with the real sizes by Finish
// where the output is a file this writer created; a loop set before Finish
// then follows the data as a `smpl` chunk (after data of unknown size no
// reader would find it).
//
// A file is written under a temporary name beside it, PATH.partial-PID
// (PID: this process's number), and renamed to PATH only once it is
// complete: a run that fails, is stopped or is killed never leaves a
// partial file under the final name, nor harms a file it was to replace.
// A temporary file is removed on failure; only a killed process leaves it.
#pragma once

#include "ReplacingFile.h"

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

    // Creates the temporary file for `path` and writes the header for this
    // format; Finish puts it in place of a file named `path` only when
    // `replace` is set. A device (the null device) is written directly.
    // False with the reason in `error`.
    bool Open(const std::wstring& path, bool replace, int channelCount, int sampleRate,
              std::string& error);
    // The same on standard output, switched to binary; it is flushed, not
    // closed, by Finish, and never positioned (it may be a file that the
    // shell opened for appending).
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
    // Rewrites the header with the sizes, closes the file and gives it its
    // final name. False with the reason in `error` (the file is then
    // removed).
    bool Finish(std::string& error);
    // Closes and removes the temporary file (never a device that the output
    // path named).
    void Discard();

    unsigned long long DataBytes() const { return dataBytes_; }
    // After a failed write to standard output: whether its reader had gone
    // (a closed pipe), which is no failure of the conversion.
    bool OutputClosed() const { return outputClosed_; }

    // The most PCM a WAV file holds: its sizes are 32-bit, and the RIFF size
    // counts 36 header bytes and a smpl chunk of one loop (68 bytes) too.
    static constexpr unsigned long long kMaxPcmBytes = 0xFFFFFFFFull - 36 - 68;

private:
    bool Start(int channelCount, int sampleRate, std::string& error);
    // The reason of a failed write, noting a reader that went away.
    std::string WriteFailure();
    // Closes the file, makes its data durable and renames it to path_.
    bool PutInPlace(std::string& error);
    // With the sizes known (`final`) or as unknown.
    bool WriteHeader(bool final, std::string& error);
    // Whether a smpl chunk follows the data, and appends it.
    bool HasLoop() const;
    bool WriteLoop(std::string& error);

    std::FILE* file_ = nullptr; // temporary_'s file, a device or standard output
    std::wstring path_;         // the final name; empty on standard output
    ReplacingFile temporary_;   // unused when written directly
    bool replace_ = false;
    bool positionable_ = false; // a disk file of this writer's own
    bool standardOutput_ = false;
    bool outputClosed_ = false;
    int channelCount_ = 0;
    int sampleRate_ = 0;
    unsigned long long dataBytes_ = 0;
    unsigned long long loopStartFrame_ = 0;
    unsigned long long loopEndFrame_ = 0; // 0: no loop
};
