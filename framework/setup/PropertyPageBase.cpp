#include "framework/setup/PropertyPageBase.h"

#include "framework/media/MediaTypeRecord.h"
#include "framework/com/ModuleHandle.h"
#include "framework/com/ResultMacros.h"

namespace {

// The page size reported when the dialog cannot be measured.
constexpr LONG kDefaultPageWidth = 340;
constexpr LONG kDefaultPageHeight = 150;
// Titles longer than this (less the terminator) are cut.
constexpr int kTitleChars = 256;

PropertyPageBase* PageOfWindow(HWND window) {
    return reinterpret_cast<PropertyPageBase*>(GetWindowLongPtrW(window, DWLP_USER));
}

} // namespace

PropertyPageBase::PropertyPageBase(IUnknown* outer, int dialogId, int titleId)
    : UnknownBase(outer), titleId_(titleId), dialogId_(dialogId) {}

PropertyPageBase::~PropertyPageBase() = default;

HRESULT STDMETHODCALLTYPE PropertyPageBase::InnerQueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IPropertyPage)) {
        return HandOutInterface(AsPropertyPage(), out);
    }
    return UnknownBase::InnerQueryInterface(iid, out);
}

void PropertyPageBase::BeforeDestruction() {
    // A frame that never deactivated the page would leave a dialog whose
    // user data points at freed memory: take it down while the page lives.
    if (pageWindow_ != nullptr) {
        Deactivate();
    }
    SetPageSite(nullptr);
    SetObjects(0, nullptr);
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::SetPageSite(IPropertyPageSite* site) {
    if (site != nullptr) {
        if (pageSite_) {
            return E_UNEXPECTED;
        }
        pageSite_ = ComPtr<IPropertyPageSite>(site); // +1 held until the site is cleared
        return S_OK;
    }
    if (!pageSite_) {
        return E_UNEXPECTED;
    }
    pageSite_.reset(); // -1: the reference taken when the site was set
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Activate(HWND parent, LPCRECT rect, BOOL /*modal*/) {
    RETURN_HR_IF_NULL(E_POINTER, rect);
    if (!objectSet_ || pageWindow_ != nullptr) {
        return E_UNEXPECTED;
    }
    pageWindow_ = CreateDialogParamW(ModuleHandle, MAKEINTRESOURCEW(dialogId_), parent,
                                     PageDialogProc, reinterpret_cast<LPARAM>(this));
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, pageWindow_);
    FillPage();
    Move(rect);
    return Show(SW_SHOWNORMAL);
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Deactivate() {
    RETURN_HR_IF_NULL(E_UNEXPECTED, pageWindow_);
    // With pageWindow null, PageMessage does not put the style straight back.
    const HWND window = pageWindow_;
    const LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    pageWindow_ = nullptr;
    SetWindowLongW(window, GWL_EXSTYLE, exStyle & ~WS_EX_CONTROLPARENT);
    pageWindow_ = window;

    LeavePage();
    DestroyWindow(window);
    pageWindow_ = nullptr;
    // The handle is dead; a later hook must not address a window that has
    // since been given the same handle.
    dialogWindow_ = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::GetPageInfo(PROPPAGEINFO* info) {
    RETURN_HR_IF_NULL(E_POINTER, info);
    WCHAR title[kTitleChars];
    if (LoadStringW(ModuleHandle, static_cast<UINT>(titleId_), title, kTitleChars) <= 0) {
        title[0] = L'\0';
    }
    LPWSTR taskTitle = nullptr;
    RETURN_IF_FAILED(MakeTaskString(title, &taskTitle));

    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = taskTitle; // the caller frees it
    info->size.cx = kDefaultPageWidth;
    info->size.cy = kDefaultPageHeight;
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    MeasureDialog(dialogId_, PageDialogProc, 0, &info->size);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::SetObjects(ULONG count, IUnknown** objects) {
    if (count == 1) {
        if (objects == nullptr || objects[0] == nullptr) {
            return E_POINTER;
        }
        // Stays set when the hook fails: the page regards the object as given.
        objectSet_ = TRUE;
        return BindObject(objects[0]);
    }
    if (count == 0) {
        objectSet_ = FALSE;
        return UnbindObject();
    }
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Show(UINT command) {
    RETURN_HR_IF_NULL(E_UNEXPECTED, pageWindow_);
    if (command != SW_HIDE && command != SW_SHOWNORMAL && command != SW_SHOW) {
        return E_INVALIDARG;
    }
    ShowWindow(pageWindow_, static_cast<int>(command));
    InvalidateRect(pageWindow_, nullptr, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Move(LPCRECT rect) {
    RETURN_HR_IF_NULL(E_POINTER, rect);
    RETURN_HR_IF_NULL(E_UNEXPECTED, pageWindow_);
    MoveWindow(pageWindow_, rect->left, rect->top, rect->right - rect->left,
               rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::IsPageDirty() {
    return dirty_ ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Apply() {
    if (!objectSet_ || !pageSite_) {
        return E_UNEXPECTED;
    }
    if (!dirty_) {
        return S_OK;
    }
    const HRESULT result = CommitChanges();
    if (SUCCEEDED(result)) {
        dirty_ = FALSE;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Help(LPCOLESTR /*helpDirectory*/) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::TranslateAccelerator(MSG* /*message*/) {
    return E_NOTIMPL;
}

HRESULT PropertyPageBase::FillPage() {
    return S_OK;
}

HRESULT PropertyPageBase::LeavePage() {
    return S_OK;
}

HRESULT PropertyPageBase::CommitChanges() {
    return S_OK;
}

INT_PTR PropertyPageBase::PageMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (pageWindow_ == nullptr) {
        return 0;
    }
    // The frame tabs into and out of the page only while it is a control
    // parent; keep it one for as long as the page is active.
    if (message == WM_STYLECHANGING && static_cast<int>(wParam) == GWL_EXSTYLE) {
        auto* styles = reinterpret_cast<STYLESTRUCT*>(lParam);
        styles->styleNew |= WS_EX_CONTROLPARENT;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

INT_PTR CALLBACK PropertyPageBase::PageDialogProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        if (lParam == 0) {
            return TRUE; // a measuring dialog: no page behind it
        }
        reinterpret_cast<PropertyPageBase*>(lParam)->dialogWindow_ = window;
    }
    PropertyPageBase* page = PageOfWindow(window);
    if (page == nullptr) {
        return TRUE;
    }
    return page->PageMessage(window, message, wParam, lParam);
}

BOOL PropertyPageBase::MeasureDialog(int dialogId, DLGPROC dialogProc, LPARAM initValue,
                                     SIZE* size) {
    const HWND window = CreateDialogParamW(ModuleHandle, MAKEINTRESOURCEW(dialogId),
                                           GetDesktopWindow(), dialogProc, initValue);
    if (window == nullptr) {
        return FALSE;
    }
    RECT rect{};
    GetWindowRect(window, &rect);
    size->cx = rect.right - rect.left;
    size->cy = rect.bottom - rect.top;
    DestroyWindow(window);
    return TRUE;
}
