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
    return object->QueryInterface(__uuidof(IDecoderInfo), decoderInfo_.put_void());
}

HRESULT DecoderPropertyPage::UnbindObject() {
    decoderInfo_ = nullptr; // -1 on the decoder
    return S_OK;
}

HRESULT DecoderPropertyPage::FillPage() {
    if (!decoderInfo_) {
        // The object did not give us the decoder's interface.
        SetDlgItemTextW(dialogWindow_, IDC_DECODER_INFO, L"ERROR:Can't get info");
        return E_NOINTERFACE;
    }
    const HRESULT result = decoderInfo_->GetStreamInfo(&info_);
    if (FAILED(result)) {
        SetDlgItemTextW(dialogWindow_, IDC_DECODER_INFO, L"ERROR:Can't get info");
        return result;
    }
    if (info_.version == 0) {
        SetDlgItemTextW(dialogWindow_, IDC_DECODER_INFO, L"N/A");
        return result;
    }
    try {
        std::wostringstream text;
        text.imbue(std::locale::classic());
        text << L"ADX version:" << info_.version << L"\nblock size:" << info_.blockSize
             << L"\nbit/sample:" << info_.bitsPerSample << L"\nsample/block:"
             << info_.samplesPerBlock << L"\nchannel:" << info_.channelCount << L"\nsampling rate:"
             << info_.sampleRate;
        SetDlgItemTextW(dialogWindow_, IDC_DECODER_INFO, text.str().c_str());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY; // the template's "N/A" stays
    }
    return result;
}
