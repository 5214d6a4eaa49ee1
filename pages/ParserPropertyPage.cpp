#include "pages/ParserPropertyPage.h"

#include "pages/PageResources.h"

#include <cwchar>
#include <locale>
#include <new>
#include <sstream>
#include <string>

namespace {

// Combo-box entries are formatted into buffers of this many characters.
constexpr size_t kLoopEntryCapacity = 64;

// "[index]m:ss-m:ss", the loop's start and end in whole seconds.
void FormatLoopEntry(INT32 index, const AdxLoopPoint& loop, INT32 sampleRate,
                     WCHAR (&entry)[kLoopEntryCapacity]) {
    if (sampleRate <= 0) {
        // Without a usable rate there are no times: show the sample range.
        std::swprintf(entry, kLoopEntryCapacity, L"[%d]%d-%d", static_cast<int>(index),
                      static_cast<int>(loop.startSample), static_cast<int>(loop.endSample));
    } else {
        const INT32 startSeconds = loop.startSample / sampleRate;
        const INT32 endSeconds = loop.endSample / sampleRate;
        std::swprintf(entry, kLoopEntryCapacity, L"[%d]%d:%02d-%d:%02d", static_cast<int>(index),
                      static_cast<int>(startSeconds / 60), static_cast<int>(startSeconds % 60),
                      static_cast<int>(endSeconds / 60), static_cast<int>(endSeconds % 60));
    }
    entry[kLoopEntryCapacity - 1] = L'\0';
}

} // namespace

UnknownBase* ParserPropertyPage::CreateInstance(IUnknown* outer, HRESULT* result) {
    auto* page = new (std::nothrow) ParserPropertyPage(outer);
    if (page == nullptr) {
        *result = E_OUTOFMEMORY;
    }
    return page;
}

ParserPropertyPage::ParserPropertyPage(IUnknown* outer)
    : PropertyPageBase(outer, IDD_PARSER_PAGE, IDS_PARSER_PAGE_TITLE) {}

HRESULT ParserPropertyPage::BindObject(IUnknown* object) {
    filled_ = false;
    pendingEdits_.reset();
    if (object == nullptr) {
        return E_POINTER;
    }
    // +1 on the parser, dropped by UnbindObject.
    return object->QueryInterface(__uuidof(IAdxParserControl), control_.put_void());
}

HRESULT ParserPropertyPage::UnbindObject() {
    control_ = nullptr; // -1 on the parser
    pendingEdits_.reset();
    return S_OK;
}

HRESULT ParserPropertyPage::FillPage() {
    // A second activation refills the dialog; its own notifications are not
    // edits either.
    filled_ = false;
    if (!control_) {
        // The object did not give us the parser's interface: nothing to show
        // and nothing to change.
        SetControlText(IDC_PARSER_INFO, L"ERROR:Can't get info");
        EnableLoopControls(FALSE);
        EnableWindow(GetDlgItem(dialogWindow_, IDC_FILE_OFFSET), FALSE);
        filled_ = true;
        return S_OK;
    }

    if (FAILED(control_->GetFormatInfo(&info_))) {
        SetControlText(IDC_PARSER_INFO, L"ERROR:Can't get info");
        EnableLoopControls(FALSE);
    } else if (info_.version == 0) {
        SetControlText(IDC_PARSER_INFO, L"N/A");
        EnableLoopControls(FALSE);
    } else {
        totalSamples_ = control_->GetTotalSamples();
        ShowFormatInfo();
        ReadLoopPoints();
        FillLoopList();
    }

    fileOffset_ = control_->GetFileOffset();
    SetDlgItemInt(dialogWindow_, IDC_FILE_OFFSET, static_cast<UINT>(fileOffset_), TRUE);
    if (pendingEdits_) {
        ShowEdits(*pendingEdits_);
    }
    filled_ = true;
    return S_OK;
}

HRESULT ParserPropertyPage::LeavePage() {
    // The dialog goes, the page stays dirty: keep what the user typed.
    if (dirty_ && control_) {
        pendingEdits_ = ReadControls();
    } else {
        pendingEdits_.reset();
    }
    return S_OK;
}

ParserPropertyPage::Edits ParserPropertyPage::ReadControls() const {
    return Edits{
        static_cast<INT32>(GetDlgItemInt(dialogWindow_, IDC_FILE_OFFSET, nullptr, TRUE)),
        static_cast<INT32>(SendDlgItemMessageW(dialogWindow_, IDC_LOOP_LIST, CB_GETCURSEL, 0, 0)),
        static_cast<INT32>(IsDlgButtonChecked(dialogWindow_, IDC_LOOP_ENABLE))};
}

void ParserPropertyPage::ShowEdits(const Edits& edits) {
    SetDlgItemInt(dialogWindow_, IDC_FILE_OFFSET, static_cast<UINT>(edits.fileOffset), TRUE);
    if (loopCount_ > 0) {
        SendDlgItemMessageW(dialogWindow_, IDC_LOOP_LIST, CB_SETCURSEL,
                            static_cast<WPARAM>(edits.loopIndex), 0);
        CheckDlgButton(dialogWindow_, IDC_LOOP_ENABLE, static_cast<UINT>(edits.loopFlag));
    }
}

void ParserPropertyPage::ShowFormatInfo() {
    try {
        std::wostringstream text;
        text.imbue(std::locale::classic());
        text << L"ver:" << info_.version << L"\nbl/bi/sa:" << info_.blockSize << L"/"
             << info_.bitsPerSample << L"/" << info_.samplesPerBlock << L"\nchannel:"
             << info_.channelCount << L"\nsample rate:" << info_.sampleRate << L"\nsample:"
             << totalSamples_;
        SetControlText(IDC_PARSER_INFO, text.str().c_str());
    } catch (const std::bad_alloc&) {
        // The template's "N/A" stays.
    }
}

void ParserPropertyPage::ReadLoopPoints() {
    loops_.reset();
    loopCount_ = 0;
    control_->GetLoopPoints(nullptr, &loopCount_);
    if (loopCount_ <= 0) {
        loopCount_ = 0;
        return;
    }
    // Zeroed, so that a failing second call shows empty loops, not garbage.
    loops_.reset(new (std::nothrow) AdxLoopPoint[loopCount_]());
    if (!loops_) {
        loopCount_ = 0;
        return;
    }
    control_->GetLoopPoints(loops_.get(), nullptr);
}

void ParserPropertyPage::FillLoopList() {
    if (loopCount_ == 0) {
        CheckDlgButton(dialogWindow_, IDC_LOOP_ENABLE, BST_UNCHECKED);
        SendDlgItemMessageW(dialogWindow_, IDC_LOOP_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(L"NO LOOP"));
        SendDlgItemMessageW(dialogWindow_, IDC_LOOP_LIST, CB_SETCURSEL, 0, 0);
        EnableLoopControls(FALSE);
        return;
    }

    INT32 enabled = 0;
    control_->GetLoop(&loopIndex_, &enabled);
    loopFlag_ = enabled != 0 ? 1 : 0;
    CheckDlgButton(dialogWindow_, IDC_LOOP_ENABLE, loopFlag_ ? BST_CHECKED : BST_UNCHECKED);

    for (INT32 i = 0; i < loopCount_; ++i) {
        WCHAR entry[kLoopEntryCapacity];
        FormatLoopEntry(i, loops_[i], info_.sampleRate, entry);
        SendDlgItemMessageW(dialogWindow_, IDC_LOOP_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(entry));
        // Entry 0 unless the parser's choice is in the list.
        if (i == loopIndex_ || i == 0) {
            SendDlgItemMessageW(dialogWindow_, IDC_LOOP_LIST, CB_SETCURSEL, static_cast<WPARAM>(i),
                                0);
        }
    }
}

HRESULT ParserPropertyPage::CommitChanges() {
    if (!control_) {
        return S_OK;
    }
    // Applied while deactivated: the edits kept when the dialog went.
    const bool shown = pageWindow_ != nullptr;
    if (!shown && !pendingEdits_) {
        return S_OK;
    }
    const Edits edits = shown ? ReadControls() : *pendingEdits_;
    pendingEdits_.reset();

    if (edits.fileOffset != fileOffset_) {
        // The parser refuses while its input is connected; the edit then
        // snaps back.
        if (control_->SetFileOffset(edits.fileOffset) == S_OK) {
            fileOffset_ = edits.fileOffset;
        }
        if (shown) {
            SetDlgItemInt(dialogWindow_, IDC_FILE_OFFSET, static_cast<UINT>(fileOffset_), TRUE);
        }
    }

    if (loopCount_ <= 0) {
        return S_OK;
    }
    if (edits.loopIndex != loopIndex_ || edits.loopFlag != loopFlag_) {
        if (control_->SetLoop(edits.loopIndex, edits.loopFlag == BST_CHECKED ? 1 : 0) == S_OK) {
            loopIndex_ = edits.loopIndex;
            loopFlag_ = edits.loopFlag;
        }
    }
    INT32 index = 0;
    INT32 enabled = 0;
    control_->GetLoop(&index, &enabled);
    if (shown) {
        CheckDlgButton(dialogWindow_, IDC_LOOP_ENABLE, enabled != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
    return S_OK;
}

INT_PTR ParserPropertyPage::PageMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (filled_ && message == WM_COMMAND) {
        const WORD code = HIWORD(wParam);
        const WORD controlId = LOWORD(wParam);
        if (code == CBN_SELCHANGE || code == EN_CHANGE ||
            (code == BN_CLICKED && controlId == IDC_LOOP_ENABLE)) {
            MarkDirty();
            return TRUE;
        }
    }
    return PropertyPageBase::PageMessage(window, message, wParam, lParam);
}

void ParserPropertyPage::MarkDirty() {
    dirty_ = TRUE;
    if (pageSite_ != nullptr) {
        pageSite_->OnStatusChange(PROPPAGESTATUS_DIRTY);
    }
}

void ParserPropertyPage::SetControlText(int controlId, const WCHAR* text) {
    SetDlgItemTextW(dialogWindow_, controlId, text);
}

void ParserPropertyPage::EnableLoopControls(BOOL enable) {
    EnableWindow(GetDlgItem(dialogWindow_, IDC_LOOP_LIST), enable);
    EnableWindow(GetDlgItem(dialogWindow_, IDC_LOOP_ENABLE), enable);
}
