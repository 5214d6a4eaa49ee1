#include "pages/DecoderPropertyPage.h"

#include "pages/PageResources.h"

#include <locale>
#include <new>
#include <sstream>
#include <string>

UnknownBase* DecoderPropertyPage::CreateInstance(IUnknown* outer, HRESULT* result) {
    auto* page = new (std::nothrow) DecoderPropertyPage(outer);
    if (page == nullptr) {
        *result = E_OUTOFMEMORY;
    }
    return page;
}

DecoderPropertyPage::DecoderPropertyPage(IUnknown* outer)
    : PropertyPageBase(outer, IDD_DECODER_PAGE, IDS_DECODER_PAGE_TITLE) {}

HRESULT DecoderPropertyPage::BindObject(IUnknown* object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    // +1 on the decoder, dropped by UnbindObject.
    return object->QueryInterface(__uuidof(IDecoderInfo), decoderInfo.put_void());
}

HRESULT DecoderPropertyPage::UnbindObject() {
    decoderInfo = nullptr; // -1 on the decoder
    return S_OK;
}

HRESULT DecoderPropertyPage::FillPage() {
    if (!decoderInfo) {
        // The object did not give us the decoder's interface.
        SetDlgItemTextW(dialogWindow, IDC_DECODER_INFO, L"ERROR:Can't get info");
        return E_NOINTERFACE;
    }
    const HRESULT result = decoderInfo->GetStreamInfo(&info);
    if (FAILED(result)) {
        SetDlgItemTextW(dialogWindow, IDC_DECODER_INFO, L"ERROR:Can't get info");
        return result;
    }
    if (info.version == 0) {
        SetDlgItemTextW(dialogWindow, IDC_DECODER_INFO, L"N/A");
        return result;
    }
    try {
        std::wostringstream text;
        text.imbue(std::locale::classic());
        text << L"ADX version:" << info.version << L"\nblock size:" << info.blockSize
             << L"\nbit/sample:" << info.bitsPerSample << L"\nsample/block:" << info.samplesPerBlock
             << L"\nchannel:" << info.channelCount << L"\nsampling rate:" << info.sampleRate;
        SetDlgItemTextW(dialogWindow, IDC_DECODER_INFO, text.str().c_str());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY; // the template's "N/A" stays
    }
    return result;
}
