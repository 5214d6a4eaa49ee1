// A real graph for the pages: the runtime's file source holding an ADX
// fixture file, the module's parser connected to it and, on request, the
// module's decoder behind the parser.
#pragma once

#include "tests/module/LoadedModule.h"

#include <corvina.h>
#include <dshow.h>

#include <cstdint>
#include <string>

// Writes a stereo 44100 Hz ADX stream of `seconds` with two loops (a quarter
// of the stream to three quarters, and the whole stream) to `path`.
bool WriteAdxFixture(const std::wstring& path, std::int32_t seconds);

class FilterGraphFixture {
public:
    FilterGraphFixture() = default;
    ~FilterGraphFixture() { Release(); }
    FilterGraphFixture(const FilterGraphFixture&) = delete;
    FilterGraphFixture& operator=(const FilterGraphFixture&) = delete;

    // Writes a 4-second fixture stream to `path` and connects file source ->
    // parser. An empty string on success, else what
    // failed.
    std::string Build(const LoadedModule& module, const std::wstring& path);
    // Adds the decoder and connects parser -> decoder.
    std::string AddDecoder(const LoadedModule& module);
    // Stops the graph and drops every filter and the graph.
    void Release();

    IGraphBuilder* graph = nullptr;
    IBaseFilter* source = nullptr;
    IBaseFilter* parser = nullptr;
    IBaseFilter* decoder = nullptr;
};
