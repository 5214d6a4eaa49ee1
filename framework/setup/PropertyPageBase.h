// The base of the module's property pages: turns a dialog template and a
// title string of the module's resources into an IPropertyPage that a
// property frame can host. It creates and destroys the dialog, reports the
// title and size, keeps the dirty flag, and passes the page's life events and
// window messages to the hooks that each concrete page supplies.
//
// Every method runs on the frame's user-interface thread (which also runs the
// dialog procedure); only the reference count is interlocked.
#pragma once

#include "framework/com/ComPtr.h"
#include "framework/com/UnknownBase.h"

#include <windows.h>
#include <ocidl.h>

class PropertyPageBase : public UnknownBase, public IPropertyPage {
public:
    // `dialogId` names the dialog template and `titleId` the title string,
    // both in the module's resources (ModuleHandle).
    PropertyPageBase(IUnknown* outer, int dialogId, int titleId);
    ~PropertyPageBase() override;

    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // IPropertyPage
    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    HRESULT STDMETHODCALLTYPE Deactivate() override;
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
    HRESULT STDMETHODCALLTYPE Show(UINT command) override;
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
    HRESULT STDMETHODCALLTYPE IsPageDirty() override;
    HRESULT STDMETHODCALLTYPE Apply() override;
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR helpDirectory) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

    // Hooks, in slot order.
    // Takes the one object SetObjects was given; its result is SetObjects'.
    virtual HRESULT BindObject(IUnknown* object) = 0;
    // Drops whatever BindObject took; also called when nothing is bound.
    virtual HRESULT UnbindObject() = 0;
    // Fills the freshly created dialog (dialogWindow is set); result ignored.
    virtual HRESULT FillPage();
    // Runs just before Deactivate destroys the dialog.
    virtual HRESULT LeavePage();
    // Applies the page's changes; a success clears the dirty flag.
    virtual HRESULT CommitChanges();
    // Every message of the page's dialog after WM_INITDIALOG (that one
    // included). The default keeps WS_EX_CONTROLPARENT on the active page and
    // hands everything else to DefWindowProcW.
    virtual INT_PTR PageMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The dialog procedure of every page: the page pointer travels in the
    // WM_INITDIALOG parameter and lives in the window's DWLP_USER slot.
    static INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Creates dialog `dialogId` of the module under the desktop window with
    // `dialogProc` and `initValue`, stores its window size in pixels in *size
    // and destroys it. FALSE (size untouched) when it cannot be created.
    static BOOL MeasureDialog(int dialogId, DLGPROC dialogProc, LPARAM initValue, SIZE* size);

    IPropertyPage* AsPropertyPage() { return static_cast<IPropertyPage*>(this); }

protected:
    // The last release drops the site and unbinds the object before the page
    // is destroyed.
    void BeforeDestruction() override;

    ComPtr<IPropertyPageSite> pageSite_; // +1 on the frame's site while one is set
    HWND pageWindow_ = nullptr;          // the dialog between Activate and Deactivate
    HWND dialogWindow_ = nullptr;        // the same dialog, recorded at WM_INITDIALOG
    BOOL dirty_ = FALSE;                 // changes not yet applied
    const int titleId_;
    const int dialogId_;
    BOOL objectSet_ = FALSE; // SetObjects gave the page one object
};
