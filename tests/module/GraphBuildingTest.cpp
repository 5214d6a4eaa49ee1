// With corvina.ax registered in the test prefix, the platform's graph builder
// finds the parser and the decoder for an .adx file by itself and plays it;
// afterwards nothing of the module is left alive.
#include "tests/module/Regsvr32.h"
#include "tests/support/BoundedWait.h"
#include "tests/pages/FilterGraphFixture.h"

#include <corvina.h>
#include <dshow.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// The class identifiers of the filters in `graph`.
std::set<std::wstring> FilterClasses(IGraphBuilder* graph) {
    std::set<std::wstring> classes;
    IEnumFilters* filters = nullptr;
    if (FAILED(graph->EnumFilters(&filters))) {
        return classes;
    }
    IBaseFilter* filter = nullptr;
    while (filters->Next(1, &filter, nullptr) == S_OK) {
        CLSID classId;
        if (SUCCEEDED(filter->GetClassID(&classId))) {
            wchar_t text[40] = {};
            StringFromGUID2(classId, text, 40);
            classes.insert(text);
        }
        filter->Release();
    }
    filters->Release();
    return classes;
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

TEST(GraphBuildingTest, RenderFilePlaysAnAdxFileThroughTheParserAndTheDecoder) {
    RegistrationLock lock;
    ASSERT_TRUE(lock.held()) << "another test kept the registry for two minutes";
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    {
        bounded::Watchdog watchdog("building, playing and releasing the graph", 90000);
        watchdog.Step("loading the module");
        LoadedModule module; // the same module the graph builder loads
        ASSERT_TRUE(module.loaded());
        watchdog.Step("registering");
        ASSERT_EQ(0, RunRegsvr32(L"/s"));

        const std::wstring path = LoadedModule::WindowsPath(CORVINA_FIXTURE_DIR "/render.adx");
        ASSERT_TRUE(WriteAdxFixture(path, 1));

        IGraphBuilder* graph = nullptr;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IGraphBuilder, reinterpret_cast<void**>(&graph)));
        watchdog.Step("RenderFile");
        const HRESULT rendered = graph->RenderFile(path.c_str(), nullptr);
        EXPECT_TRUE(SUCCEEDED(rendered)) << std::hex << rendered;
        const std::set<std::wstring> classes = FilterClasses(graph);
        EXPECT_EQ(1u, classes.count(GuidText(CLSID_AdxParserFilter)));
        EXPECT_EQ(1u, classes.count(GuidText(CLSID_AdxDecoderFilter)));
        EXPECT_EQ(1u, classes.count(GuidText(CLSID_DSoundRender)));

        if (SUCCEEDED(rendered)) {
            IMediaControl* control = nullptr;
            IMediaEvent* events = nullptr;
            ASSERT_EQ(S_OK,
                      graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)));
            ASSERT_EQ(S_OK,
                      graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events)));
            watchdog.Step("Run");
            EXPECT_TRUE(SUCCEEDED(control->Run()));
            // One second of audio; a bounded wait.
            watchdog.Step("WaitForCompletion");
            long code = 0;
            EXPECT_EQ(S_OK, events->WaitForCompletion(15000, &code));
            EXPECT_EQ(EC_COMPLETE, code);
            watchdog.Step("Stop");
            control->Stop();
            events->Release();
            control->Release();
        }
        watchdog.Step("releasing the graph");
        EXPECT_EQ(0u, graph->Release());
        watchdog.Step("unloading");
        CoFreeUnusedLibraries();
        EXPECT_EQ(S_OK, module.CanUnloadNow()) << "a filter, pin or factory is still alive";
        watchdog.Step("unregistering");
        EXPECT_EQ(0, RunRegsvr32(L"/s /u"));
    }
    CoUninitialize();
}

} // namespace
