#include "module/FilterRegistration.h"

#include "framework/com/ComPtr.h"
#include "framework/com/ResultMacros.h"
#include <corvina.h>

#include <dshow.h>
#include <uuids.h>

namespace {

constexpr DWORD kDecoderMerit = 0x00600000; // MERIT_NORMAL
// Just below the decoder, so that the decoder wins where both could serve.
constexpr DWORD kParserMerit = 0x005FFFFE;

const REGPINTYPES kDecoderInputType = {&MEDIATYPE_Audio, &MEDIASUBTYPE_Adx};
const REGPINTYPES kDecoderOutputType = {&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM};
const REGPINTYPES kParserInputType = {&GUID_NULL, &GUID_NULL}; // any type
const REGPINTYPES kParserOutputType = {&MEDIATYPE_Audio, &MEDIASUBTYPE_Adx};

// Fields: name, rendered, output, zero instances, many instances, connects
// to filter, connects to pin, type count, types.
const REGFILTERPINS kDecoderPins[] = {
    {nullptr, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, &kDecoderInputType},
    {nullptr, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, &kDecoderOutputType},
};
const REGFILTERPINS kParserPins[] = {
    {nullptr, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, &kParserInputType},
    {nullptr, FALSE, TRUE, TRUE, FALSE, nullptr, nullptr, 1, &kParserOutputType},
};

REGFILTER2 MakeFilterRecord(DWORD merit, const REGFILTERPINS* pins, ULONG pinCount) {
    REGFILTER2 record = {};
    record.dwVersion = 1;
    record.dwMerit = merit;
    record.cPins = pinCount;
    record.rgPins = pins;
    return record;
}

// What the mapper answers for an entry that is not there: nothing to remove.
const HRESULT kEntryMissing = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

HRESULT CreateFilterMapper(ComPtr<IFilterMapper2>& mapper) {
    return CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                            mapper.put_void());
}

} // namespace

HRESULT RegisterFilters() {
    ComPtr<IFilterMapper2> mapper; // +1 on the mapper, released on return
    RETURN_IF_FAILED(CreateFilterMapper(mapper));

    const REGFILTER2 decoder = MakeFilterRecord(kDecoderMerit, kDecoderPins, 2);
    HRESULT result = mapper->RegisterFilter(CLSID_AdxDecoderFilter, L"Quellvane", nullptr,
                                            &CLSID_LegacyAmFilterCategory, nullptr, &decoder);
    if (SUCCEEDED(result)) {
        const REGFILTER2 parser = MakeFilterRecord(kParserMerit, kParserPins, 2);
        result = mapper->RegisterFilter(CLSID_AdxParserFilter, L"VAZ Iraz Ozadiz", nullptr,
                                        &CLSID_LegacyAmFilterCategory, nullptr, &parser);
    }
    return result;
}

HRESULT UnregisterFilters() {
    ComPtr<IFilterMapper2> mapper; // +1 on the mapper, released on return
    RETURN_IF_FAILED(CreateFilterMapper(mapper));

    // Both entries, each on its own: a decoder entry that is already gone
    // (a second uninstall, a registration that stopped halfway) must not
    // keep the parser's entry behind.
    HRESULT firstFailure = S_OK;
    for (const CLSID* filter : {&CLSID_AdxDecoderFilter, &CLSID_AdxParserFilter}) {
        const HRESULT result =
            mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, *filter);
        if (FAILED(result) && result != kEntryMissing && SUCCEEDED(firstFailure)) {
            firstFailure = result;
        }
    }
    return firstFailure;
}
