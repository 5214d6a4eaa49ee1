// installcheck: what a user's player sees once the package is installed,
// through the system's own COM registrations only (nothing is loaded by path).
//
//   installcheck mapper        the filter mapper offers the parser for an ADX
//                              output and the decoder for an ADX input
//   installcheck render FILE   RenderFile builds source -> parser -> decoder
//                              -> renderer and the graph plays to EC_COMPLETE
//   installcheck version FILE  prints the version and licence texts of the
//                              file's version resource, one "name: text" a line
//
// Exit status 0 when the check held, 1 when it did not (the reason on stderr).
#include "framework/com/ComPtr.h"

#include <corvina.h>
#include <dshow.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// {00008003-0000-0010-8000-00AA00389B71}: what the parser offers and the
// decoder accepts.
constexpr GUID kAdxSubtype = {
    0x00008003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
// A bounded wait: the fixture lasts about a second.
constexpr long kCompletionTimeoutMs = 30000;

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "installcheck: %s (0x%08lx)\n", what, static_cast<unsigned long>(hr));
    return 1;
}

// Whether the mapper lists `wanted` for an ADX pin on the given side.
bool MapperOffers(IFilterMapper2* mapper, const CLSID& wanted, bool adxInput) {
    const GUID types[2] = {MEDIATYPE_Audio, kAdxSubtype};
    ComPtr<IEnumMoniker> monikers;
    if (FAILED(mapper->EnumMatchingFilters(
            monikers.put(), 0, FALSE, MERIT_DO_NOT_USE + 1, adxInput, 1, adxInput ? types : nullptr,
            nullptr, nullptr, FALSE, !adxInput, 1, adxInput ? nullptr : types, nullptr, nullptr)) ||
        !monikers) {
        return false;
    }
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.put(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void()))) {
            continue;
        }
        VARIANT value;
        VariantInit(&value);
        bool match = false;
        if (SUCCEEDED(bag->Read(L"CLSID", &value, nullptr)) && value.vt == VT_BSTR) {
            CLSID found;
            match = SUCCEEDED(CLSIDFromString(value.bstrVal, &found)) && found == wanted;
        }
        VariantClear(&value);
        if (match) {
            return true;
        }
    }
    return false;
}

int CheckMapper() {
    ComPtr<IFilterMapper2> mapper;
    const HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IFilterMapper2, mapper.put_void());
    if (FAILED(hr)) {
        return Fail("no filter mapper", hr);
    }
    if (!MapperOffers(mapper.get(), CLSID_AdxDecoderFilter, true)) {
        return Fail("the mapper offers no \"Quellvane\" for an ADX input", E_FAIL);
    }
    if (!MapperOffers(mapper.get(), CLSID_AdxParserFilter, false)) {
        return Fail("the mapper offers no \"VAZ Iraz Ozadiz\" for an ADX output", E_FAIL);
    }
    std::printf("mapper: \"VAZ Iraz Ozadiz\" and \"Quellvane\" found\n");
    return 0;
}

bool GraphHolds(IGraphBuilder* graph, const CLSID& wanted) {
    ComPtr<IEnumFilters> filters;
    if (FAILED(graph->EnumFilters(filters.put()))) {
        return false;
    }
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK) {
        CLSID found;
        if (SUCCEEDED(filter->GetClassID(&found)) && found == wanted) {
            return true;
        }
    }
    return false;
}

int CheckRender(const wchar_t* path) {
    ComPtr<IGraphBuilder> graph;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IGraphBuilder, graph.put_void());
    if (FAILED(hr)) {
        return Fail("no filter graph", hr);
    }
    if (FAILED(hr = graph->RenderFile(path, nullptr))) {
        return Fail("RenderFile failed", hr);
    }
    const struct {
        const CLSID* classId;
        const char* name;
    } chain[] = {{&CLSID_AsyncReader, "the file source"},
                 {&CLSID_AdxParserFilter, "\"VAZ Iraz Ozadiz\""},
                 {&CLSID_AdxDecoderFilter, "\"Quellvane\""},
                 {&CLSID_DSoundRender, "the audio renderer"}};
    for (const auto& link : chain) {
        if (!GraphHolds(graph.get(), *link.classId)) {
            std::fprintf(stderr, "installcheck: the graph holds no %s\n", link.name);
            return 1;
        }
    }
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    if (FAILED(hr = graph.query_to(control)) ||
        FAILED(hr = graph->QueryInterface(IID_IMediaEvent, events.put_void()))) {
        return Fail("no graph control", hr);
    }
    if (FAILED(hr = control->Run())) {
        return Fail("Run failed", hr);
    }
    long code = 0;
    hr = events->WaitForCompletion(kCompletionTimeoutMs, &code);
    control->Stop();
    if (hr != S_OK || code != EC_COMPLETE) {
        return Fail("the graph did not play to EC_COMPLETE", hr);
    }
    std::printf("render: source, parser, decoder, renderer; EC_COMPLETE\n");
    return 0;
}

int PrintVersion(const wchar_t* path) {
    const DWORD size = GetFileVersionInfoSizeW(path, nullptr);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, block.data())) {
        return Fail("no version resource", HRESULT_FROM_WIN32(GetLastError()));
    }
    for (const wchar_t* name :
         {L"FileVersion", L"ProductVersion", L"OriginalFilename", L"LegalCopyright", L"Comments"}) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\000004b0\\") + name;
        wchar_t* text = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text),
                            &length)) {
            text = const_cast<wchar_t*>(L"<none>");
        }
        std::printf("%ls: %ls\n", name, text);
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool mapper = argc == 2 && std::wcscmp(argv[1], L"mapper") == 0;
    const bool render = argc == 3 && std::wcscmp(argv[1], L"render") == 0;
    if (argc == 3 && std::wcscmp(argv[1], L"version") == 0) {
        return PrintVersion(argv[2]);
    }
    if (!mapper && !render) {
        std::fprintf(stderr, "usage: installcheck mapper | render FILE | version FILE\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        return Fail("COM did not start", E_FAIL);
    }
    const int status = mapper ? CheckMapper() : CheckRender(argv[2]);
    CoUninitialize();
    return status;
}
