// One graph's life for corvina-play: the filter module, the graph built
// from it (filter by filter, or by the graph builder), and running the graph
// to its end while the caller redraws its progress line. It reports
// HRESULTs and which step failed; the Player words them.
#pragma once

#include "playback/FilterModule.h"
#include "playback/PlaybackGraph.h"

#include <windows.h>

#include <functional>
#include <string>

class GraphSession {
public:
    // How Run ended.
    enum class Ending { kComplete, kStopped, kError };

    // `stopEvent` is signalled when the user asks to stop (Ctrl+C).
    explicit GraphSession(HANDLE stopEvent) : stopEvent_(stopEvent) {}
    GraphSession(const GraphSession&) = delete;
    GraphSession& operator=(const GraphSession&) = delete;

    HRESULT LoadModule(const std::wstring& path) { return module_.Load(path); }
    const FilterModule& Module() const { return module_; }
    PlaybackGraph& Graph() { return graph_; }

    // Runs the graph until it completes, fails (the graph's error in
    // `error`) or the user stops it, calling `tick` every 100 ms in between;
    // then stops it.
    Ending Run(const std::function<void()>& tick, HRESULT& error);

private:
    const HANDLE stopEvent_;
    // Declared in the order of their lifetimes: the module outlives the
    // graph that holds its filters.
    FilterModule module_;
    PlaybackGraph graph_;
};
