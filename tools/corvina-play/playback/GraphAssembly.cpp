#include "playback/GraphAssembly.h"

#include "files/FilePaths.h"
#include "files/WavWriter.h"
#include "graph/LoopPassTap.h"

#include "commandline/ConsoleText.h"

#include <vfwmsgs.h>

#include <cstdint>

namespace {

std::string OffsetText(long long offset) {
    return offset != 0 ? " at byte offset " + std::to_string(offset) : std::string();
}

} // namespace

ExitStatus GraphAssembly::BuildFront(long long fileOffset, long long dataEnd) {
    fileOffset_ = fileOffset;
    dataEnd_ = dataEnd;
    const HRESULT hr = session_.Graph().Create(options_.Converting());
    if (FAILED(hr)) {
        return voice_.Fail(ExitStatus::kFailed, hr, "cannot create the filter graph");
    }
    return options_.render ? BuildWithGraphBuilder() : BuildFilterByFilter();
}

ExitStatus GraphAssembly::BuildBack(const AdxFormatInfo& format, REFERENCE_TIME tapEnd) {
    PlaybackGraph& graph = session_.Graph();
    HRESULT hr = S_OK;
    if (options_.loopIndex >= 0) {
        hr = graph.InsertLoopPassTap(options_.loopIndex, tapEnd);
        if (FAILED(hr)) {
            return voice_.Fail(ExitStatus::kFailed, hr,
                               "cannot put the loop pass counter behind the parser");
        }
    }
    if (options_.render) {
        return ExitStatus::kDone;
    }
    hr = graph.AddDecoder(session_.Module());
    if (FAILED(hr)) {
        return ExplainDecoderRefusal(hr, format);
    }
    if (options_.Converting()) {
        hr = graph.AddWavSink(&writer_, true);
        return FAILED(hr) ? voice_.Fail(ExitStatus::kFailed, hr, "cannot connect the WAV sink")
                          : ExitStatus::kDone;
    }
    hr = graph.AddSpeaker();
    if (FAILED(hr)) {
        return voice_.Fail(
            ExitStatus::kFailed, hr,
            "cannot play through the DirectSound renderer (is there an audio device?)");
    }
    return ExitStatus::kDone;
}

ExitStatus GraphAssembly::LoadModule() {
    modulePath_ =
        options_.modulePath.empty() ? FilterModule::BesideProgram() : Widen(options_.modulePath);
    HRESULT hr = session_.LoadModule(modulePath_);
    if (hr == HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)) {
        return voice_.Fail(ExitStatus::kFailed, S_OK, modulePath_,
                           "not a filter module (no DllGetClassObject)");
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)) {
        return voice_.Fail(ExitStatus::kFailed, S_OK, modulePath_,
                           "cannot load the filter module: it is not a " +
                               std::to_string(sizeof(void*) * 8) + "-bit Windows DLL");
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) ||
        hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
        hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
        return voice_.Fail(ExitStatus::kFailed, S_OK, modulePath_,
                           "cannot load the filter module: no such file");
    }
    if (FAILED(hr)) {
        return voice_.Fail(ExitStatus::kFailed, hr, modulePath_, "cannot load the filter module");
    }
    // The pass schedule is this program's copy of the parser's planner: a
    // parser of another release could cut the passes elsewhere.
    std::uint64_t moduleVersion = 0;
    if (!session_.Module().FileVersion(moduleVersion)) {
        return voice_.Fail(
            ExitStatus::kFailed, S_OK, modulePath_,
            "the filter module has no version; corvina-play plays only with release " +
                FilterModule::VersionText(FilterModule::ProgramVersion()));
    }
    if (moduleVersion != FilterModule::ProgramVersion()) {
        return voice_.Fail(ExitStatus::kFailed, S_OK, modulePath_,
                           "the filter module is release " +
                               FilterModule::VersionText(moduleVersion) +
                               "; corvina-play plays only with release " +
                               FilterModule::VersionText(FilterModule::ProgramVersion()));
    }
    return ExitStatus::kDone;
}

ExitStatus GraphAssembly::BuildFilterByFilter() {
    const ExitStatus status = LoadModule();
    if (status != ExitStatus::kDone) {
        return status;
    }
    PlaybackGraph& graph = session_.Graph();
    // Conversion reads with plain file reads, and no further than the
    // member's end: the next member's bytes are not this stream's data.
    // Playback reads as any player does.
    HRESULT hr = graph.AddFileSource(input_, options_.Converting(), nullptr, dataEnd_);
    if (FAILED(hr)) {
        return voice_.Fail(ExitStatus::kRefused, hr, input_, "unreadable file");
    }
    hr = graph.AddParser(session_.Module(), static_cast<LONG>(fileOffset_));
    if (hr == REGDB_E_CLASSNOTREG || hr == CLASS_E_CLASSNOTAVAILABLE) {
        return voice_.Fail(ExitStatus::kFailed, S_OK, modulePath_,
                           "the module has no ADX parser filter");
    }
    return FAILED(hr) ? ExplainRefusal(hr) : ExitStatus::kDone;
}
ExitStatus GraphAssembly::ExplainRefusal(HRESULT hr) {
    const std::string where = OffsetText(fileOffset_);
    // The parser refuses a total that its signed count cannot hold: say so.
    if (const unsigned long total = HeaderTotalSamples(); total >= 0x80000000UL) {
        return voice_.Fail(ExitStatus::kRefused, S_OK, input_,
                           "not a playable ADX stream: its header gives a total length of " +
                               std::to_string(total) + " samples");
    }
    // The file source hands the graph a general code for any refusal of
    // the parser's input pin; the parser's own reasons are the prefix and
    // the header, which the file shows again.
    if (hr != VFW_E_INVALID_FILE_FORMAT && hr != VFW_E_FILE_TOO_SHORT) {
        unsigned char prefix[4] = {};
        DWORD got = 0;
        if (ReadBytesAt(input_, fileOffset_, prefix, sizeof(prefix), got)) {
            const long long headerLength =
                ((LONGLONG{prefix[1]} << 16) | (prefix[2] << 8) | prefix[3]) + 4;
            if (got == sizeof(prefix) && prefix[0] != 0x80) {
                hr = VFW_E_INVALID_FILE_FORMAT;
            } else if (got < sizeof(prefix) || dataEnd_ - fileOffset_ < headerLength) {
                hr = VFW_E_FILE_TOO_SHORT;
            } else {
                return voice_.Fail(ExitStatus::kRefused, S_OK, input_,
                                   "not an ADX stream" + where + ": the parser refused its header");
            }
        }
    }
    if (hr == VFW_E_INVALID_FILE_FORMAT) {
        return voice_.Fail(ExitStatus::kRefused, S_OK, input_, "not an ADX stream" + where);
    }
    if (hr == VFW_E_FILE_TOO_SHORT) {
        return voice_.Fail(ExitStatus::kRefused, S_OK, input_,
                           "file too short for the ADX header" + where);
    }
    return voice_.Fail(ExitStatus::kFailed, hr, input_, "the parser cannot read the file");
}
unsigned long GraphAssembly::HeaderTotalSamples() const {
    unsigned char bytes[0x10] = {};
    DWORD got = 0;
    if (!ReadBytesAt(input_, fileOffset_, bytes, sizeof(bytes), got) || got != sizeof(bytes) ||
        bytes[0] != 0x80) {
        return 0;
    }
    return (static_cast<unsigned long>(bytes[0x0C]) << 24) |
           (static_cast<unsigned long>(bytes[0x0D]) << 16) |
           (static_cast<unsigned long>(bytes[0x0E]) << 8) | bytes[0x0F];
}
ExitStatus GraphAssembly::ExplainDecoderRefusal(HRESULT hr, const AdxFormatInfo& format) {
    // The decoder plays 4-bit mono and stereo streams of 18-byte blocks of
    // 32 samples; say which of these the stream is not.
    std::string reason;
    if (format.channelCount != 1 && format.channelCount != 2) {
        reason = "it has " + Plural(format.channelCount, "channel") + "; the decoder plays 1 or 2";
    } else if (format.bitsPerSample != 4) {
        reason = "it has " + std::to_string(format.bitsPerSample) +
                 " bits per sample; the decoder plays 4";
    } else if (format.blockSize != 18 || format.samplesPerBlock != 32) {
        reason = "its blocks are " + std::to_string(format.blockSize) +
                 " bytes; the decoder plays blocks of 18 bytes";
    }
    if (reason.empty()) {
        return voice_.Fail(ExitStatus::kFailed, hr, "cannot connect the decoder");
    }
    return voice_.Fail(ExitStatus::kRefused, S_OK, input_,
                       "the decoder cannot play this stream: " + reason);
}
ExitStatus GraphAssembly::BuildWithGraphBuilder() {
    PlaybackGraph& graph = session_.Graph();
    HRESULT hr = S_OK;
    if (options_.Converting()) {
        hr = graph.AddWavSink(&writer_, false);
        if (SUCCEEDED(hr)) {
            hr = graph.RenderFileToSink(input_);
        }
    } else {
        hr = graph.RenderFile(input_);
    }
    if (hr == VFW_E_NOT_FOUND) {
        return voice_.Fail(ExitStatus::kFailed, S_OK, input_,
                           "the graph builder played the file without corvina's parser");
    }
    if (hr == VFW_E_CANNOT_RENDER || hr == VFW_E_UNSUPPORTED_STREAM || hr == VFW_E_CANNOT_CONNECT ||
        hr == VFW_E_INVALID_FILE_FORMAT || hr == VFW_E_NO_ACCEPTABLE_TYPES) {
        return voice_.Fail(ExitStatus::kRefused, S_OK, input_,
                           "no registered filter plays the file (not an ADX stream, or corvina.ax "
                           "not registered: regsvr32 corvina.ax)");
    }
    if (FAILED(hr)) {
        return voice_.Fail(ExitStatus::kFailed, hr, input_,
                           "the graph builder cannot build a graph for the file");
    }
    return ExitStatus::kDone;
}
