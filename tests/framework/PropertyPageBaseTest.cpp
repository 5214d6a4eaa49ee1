// The property page base in real windows: a recording page on the dialog and
// strings of this program's resources, a counted page site and a counted
// bound object, driven through IPropertyPage the way a property frame does.
#include "CountingFake.h"
#include "CountingPageSite.h"
#include "PropertyPageBaseTestIds.h"

#include "framework/com/ComPtr.h"
#include "framework/com/CountedObject.h"
#include "framework/com/ModuleHandle.h"
#include "framework/setup/PropertyPageBase.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

HINSTANCE ModuleHandle = GetModuleHandleW(nullptr);

namespace {

// What the hooks saw, kept outside the page so that it outlives it.
struct PageLog {
    std::vector<std::string> calls;
    HRESULT bindResult = S_OK;
    HRESULT commitResult = S_OK;
    // State seen by the hooks.
    HWND windowAtFill = nullptr;
    bool windowAliveAtLeave = false;
    LONG exStyleAtLeave = 0;
    int pageMessages = 0;
};

// A page that records its hooks and, like the module's pages, marks itself
// dirty and tells the site when its edit control changes.
class RecordingPage : public PropertyPageBase {
public:
    RecordingPage(IUnknown* outer, int dialogId, int titleId, PageLog* log)
        : PropertyPageBase(outer, dialogId, titleId), log_(log) {}
    ~RecordingPage() override { log_->calls.push_back("destroyed"); }

    HRESULT BindObject(IUnknown* object) override {
        log_->calls.push_back("BindObject");
        bound_ = ComPtr<IUnknown>(object);
        return log_->bindResult;
    }
    HRESULT UnbindObject() override {
        log_->calls.push_back("UnbindObject");
        bound_ = nullptr;
        return S_OK;
    }
    HRESULT FillPage() override {
        log_->calls.push_back("FillPage");
        log_->windowAtFill = dialogWindow_;
        filled_ = true;
        return E_FAIL; // ignored by Activate
    }
    HRESULT LeavePage() override {
        log_->calls.push_back("LeavePage");
        log_->windowAliveAtLeave = IsWindow(dialogWindow_) != FALSE;
        log_->exStyleAtLeave = GetWindowLongW(dialogWindow_, GWL_EXSTYLE);
        filled_ = false;
        return S_OK;
    }
    HRESULT CommitChanges() override {
        log_->calls.push_back("CommitChanges");
        return log_->commitResult;
    }
    INT_PTR PageMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        ++log_->pageMessages;
        if (filled_ && message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
            dirty_ = TRUE;
            if (pageSite_ != nullptr) {
                pageSite_->OnStatusChange(PROPPAGESTATUS_DIRTY);
            }
            return TRUE;
        }
        return PropertyPageBase::PageMessage(window, message, wParam, lParam);
    }

private:
    PageLog* const log_;
    ComPtr<IUnknown> bound_; // +1 on the object while bound
    bool filled_ = false;
};

// The frame's side: counts its references and the status changes it hears.
using CountingSite = CountingPageSite;

// The object a page is bound to (a filter, in the module).
using CountingObject = CountingFake<IUnknown>;

HWND CreateParentWindow() {
    static const WCHAR* const kClassName = L"PropertyPageBaseTestFrame";
    static const ATOM kRegistered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassW(&windowClass);
    }();
    EXPECT_NE(kRegistered, 0);
    return CreateWindowExW(0, kClassName, L"frame", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 50, 50,
                           640, 480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

int ChildWindowCount(HWND parent) {
    int count = 0;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        ++count;
    }
    return count;
}

// Where the child sits, in the parent's client coordinates.
void ExpectPlacedAt(HWND child, HWND parent, const RECT& expected) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, expected.left);
    EXPECT_EQ(rect.top, expected.top);
    EXPECT_EQ(rect.right, expected.right);
    EXPECT_EQ(rect.bottom, expected.bottom);
}

bool HasStyle(HWND window, LONG style) {
    return (GetWindowLongW(window, GWL_STYLE) & style) != 0;
}

bool HasExStyle(HWND window, LONG exStyle) {
    return (GetWindowLongW(window, GWL_EXSTYLE) & exStyle) != 0;
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// The size Windows gives the test dialog, measured independently.
SIZE TestDialogSize() {
    HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TEST_PAGE),
                                     GetDesktopWindow(), PlainDialogProc, 0);
    EXPECT_NE(window, nullptr);
    RECT rect{};
    GetWindowRect(window, &rect);
    DestroyWindow(window);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

class PropertyPageBaseTest : public testing::Test {
protected:
    void SetUp() override {
        liveBefore_ = LiveObjectCount;
        parent_ = CreateParentWindow();
        ASSERT_NE(parent_, nullptr) << "CreateWindowExW failed: " << GetLastError();
    }
    void TearDown() override {
        page_ = nullptr;
        EXPECT_EQ(site_.references, 0) << "the page site leaked";
        EXPECT_EQ(object_.references, 0) << "the bound object leaked";
        EXPECT_EQ(LiveObjectCount, liveBefore_) << "a page leaked";
        EXPECT_EQ(ChildWindowCount(parent_), 0) << "a page window outlived its page";
        DestroyWindow(parent_);
    }

    // A new page, held through IPropertyPage with one reference, the way the
    // class factory hands one out.
    void CreatePage(int dialogId = IDD_TEST_PAGE, int titleId = IDS_TEST_TITLE) {
        auto* created = new RecordingPage(nullptr, dialogId, titleId, &log_);
        IUnknown* inner = created->NonDelegatingUnknown();
        inner->AddRef();
        ASSERT_EQ(inner->QueryInterface(IID_IPropertyPage, page_.put_void()), S_OK);
        inner->Release();
    }
    void CreateBoundPage() {
        CreatePage();
        SetSiteAndObject();
    }
    void SetSiteAndObject() {
        ASSERT_EQ(page_->SetPageSite(&site_), S_OK);
        IUnknown* objects[] = {&object_};
        ASSERT_EQ(page_->SetObjects(1, objects), S_OK);
    }
    // The page's dialog: the only child of the parent.
    HWND PageWindow() const { return GetWindow(parent_, GW_CHILD); }

    RECT pageRect_{10, 20, 310, 220};
    LONG liveBefore_ = 0;
    HWND parent_ = nullptr;
    PageLog log_;
    CountingSite site_;
    CountingObject object_;
    ComPtr<IPropertyPage> page_;
};

TEST_F(PropertyPageBaseTest, SiteIsHeldOnceAndDroppedOnce) {
    CreatePage();
    CountingSite other;
    EXPECT_EQ(page_->SetPageSite(nullptr), E_UNEXPECTED);
    EXPECT_EQ(page_->SetPageSite(&site_), S_OK);
    EXPECT_EQ(site_.references, 1);
    EXPECT_EQ(page_->SetPageSite(&other), E_UNEXPECTED);
    EXPECT_EQ(other.references, 0);
    EXPECT_EQ(page_->SetPageSite(nullptr), S_OK);
    EXPECT_EQ(site_.references, 0);
    EXPECT_EQ(page_->SetPageSite(nullptr), E_UNEXPECTED);
}

TEST_F(PropertyPageBaseTest, ObjectListsOtherThanOneGoodObjectAreRefusedWithoutBinding) {
    CreatePage();
    IUnknown* nullObject[] = {nullptr};
    IUnknown* twoObjects[] = {&object_, &object_};
    struct Case {
        const char* name;
        ULONG count;
        IUnknown** objects;
        HRESULT expected;
    } cases[] = {
        {"null array", 1, nullptr, E_POINTER},
        {"null object", 1, nullObject, E_POINTER},
        {"two objects", 2, twoObjects, E_UNEXPECTED},
        {"a million objects", 1000000, twoObjects, E_UNEXPECTED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(page_->SetObjects(c.count, c.objects), c.expected) << c.name;
        EXPECT_EQ(page_->Activate(parent_, &pageRect_, FALSE), E_UNEXPECTED)
            << c.name << ": the page took the object as set";
    }
    EXPECT_TRUE(log_.calls.empty());
    EXPECT_EQ(object_.references, 0);
    EXPECT_EQ(ChildWindowCount(parent_), 0);
}

TEST_F(PropertyPageBaseTest, BindingGoesThroughTheHooksAndAFailedBindStillSetsTheObject) {
    CreatePage();
    IUnknown* objects[] = {&object_};
    EXPECT_EQ(page_->SetObjects(1, objects), S_OK);
    EXPECT_EQ(object_.references, 1);
    EXPECT_EQ(page_->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(object_.references, 0);
    EXPECT_EQ(page_->Activate(parent_, &pageRect_, FALSE), E_UNEXPECTED) << "unbound";

    log_.bindResult = E_NOINTERFACE;
    EXPECT_EQ(page_->SetObjects(1, objects), E_NOINTERFACE);
    EXPECT_EQ(page_->Activate(parent_, &pageRect_, FALSE), S_OK);
    EXPECT_EQ(page_->Deactivate(), S_OK);
    EXPECT_EQ(log_.calls, (std::vector<std::string>{"BindObject", "UnbindObject", "BindObject",
                                                    "FillPage", "LeavePage"}));
}

TEST_F(PropertyPageBaseTest, CallsThatNeedAWindowOrArgumentsAreRefused) {
    CreateBoundPage();
    MSG message{};
    struct Case {
        const char* name;
        std::function<HRESULT(IPropertyPage*)> call;
        HRESULT expected;
    } cases[] = {
        {"Show", [](IPropertyPage* p) { return p->Show(SW_SHOW); }, E_UNEXPECTED},
        {"Move", [this](IPropertyPage* p) { return p->Move(&pageRect_); }, E_UNEXPECTED},
        {"Move null", [](IPropertyPage* p) { return p->Move(nullptr); }, E_POINTER},
        {"Deactivate", [](IPropertyPage* p) { return p->Deactivate(); }, E_UNEXPECTED},
        {"Activate null", [this](IPropertyPage* p) { return p->Activate(parent_, nullptr, FALSE); },
         E_POINTER},
        {"GetPageInfo null", [](IPropertyPage* p) { return p->GetPageInfo(nullptr); }, E_POINTER},
        {"Help", [](IPropertyPage* p) { return p->Help(L"C:\\"); }, E_NOTIMPL},
        {"TranslateAccelerator",
         [&message](IPropertyPage* p) { return p->TranslateAccelerator(&message); }, E_NOTIMPL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(page_.get()), c.expected) << c.name;
    }
    EXPECT_EQ(ChildWindowCount(parent_), 0);
    EXPECT_EQ(log_.calls, (std::vector<std::string>{"BindObject"}));
}

TEST_F(PropertyPageBaseTest, AnActivePageIsOneFilledDialogThatShowsMovesAndLeaves) {
    CreateBoundPage();
    ASSERT_EQ(page_->Activate(parent_, &pageRect_, TRUE), S_OK);
    const HWND window = PageWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(log_.windowAtFill, window) << "FillPage ran before the dialog was recorded";
    EXPECT_TRUE(HasStyle(window, WS_VISIBLE));
    ExpectPlacedAt(window, parent_, pageRect_);
    EXPECT_EQ(page_->Activate(parent_, &pageRect_, FALSE), E_UNEXPECTED);
    EXPECT_EQ(ChildWindowCount(parent_), 1);

    struct ShowCase {
        UINT command;
        HRESULT expected;
        bool visibleAfter;
    } shows[] = {
        {SW_HIDE, S_OK, false},
        {SW_SHOWNORMAL, S_OK, true},
        {SW_HIDE, S_OK, false},
        {SW_SHOW, S_OK, true},
        {SW_MINIMIZE, E_INVALIDARG, true},
        {SW_HIDE, S_OK, false},
        {SW_MAXIMIZE, E_INVALIDARG, false},
        {SW_SHOWNA, E_INVALIDARG, false},
    };
    for (const ShowCase& c : shows) {
        EXPECT_EQ(page_->Show(c.command), c.expected) << "command " << c.command;
        EXPECT_EQ(HasStyle(window, WS_VISIBLE), c.visibleAfter) << "command " << c.command;
    }
    for (const RECT& target : {RECT{0, 0, 100, 50}, RECT{40, 30, 440, 330}, RECT{5, 5, 5, 5}}) {
        ASSERT_EQ(page_->Move(&target), S_OK);
        ExpectPlacedAt(window, parent_, target);
    }

    // While active the page stays a control parent, whoever changes its style.
    EXPECT_TRUE(HasExStyle(window, WS_EX_CONTROLPARENT));
    SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_CONTROLPARENT);
    EXPECT_TRUE(HasExStyle(window, WS_EX_CONTROLPARENT));

    ASSERT_EQ(page_->Deactivate(), S_OK);
    EXPECT_TRUE(log_.windowAliveAtLeave) << "LeavePage ran after the dialog was destroyed";
    EXPECT_EQ(log_.exStyleAtLeave & WS_EX_CONTROLPARENT, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(page_->Show(SW_SHOW), E_UNEXPECTED);

    // Activating again builds and fills a fresh dialog.
    ASSERT_EQ(page_->Activate(parent_, &pageRect_, FALSE), S_OK);
    EXPECT_EQ(log_.windowAtFill, PageWindow());
    EXPECT_EQ(ChildWindowCount(parent_), 1);
    EXPECT_EQ(page_->Deactivate(), S_OK);
    EXPECT_EQ(log_.calls, (std::vector<std::string>{"BindObject", "FillPage", "LeavePage",
                                                    "FillPage", "LeavePage"}));
}

TEST_F(PropertyPageBaseTest, ActivateFailsWithOutOfMemoryWhenTheDialogCannotBeCreated) {
    CreatePage(IDD_MISSING_PAGE);
    SetSiteAndObject();
    EXPECT_EQ(page_->Activate(parent_, &pageRect_, FALSE), E_OUTOFMEMORY);
    EXPECT_EQ(ChildWindowCount(parent_), 0);
    EXPECT_EQ(page_->Deactivate(), E_UNEXPECTED);
    EXPECT_EQ(log_.calls, (std::vector<std::string>{"BindObject"}));
}

TEST_F(PropertyPageBaseTest, AnEditDirtiesThePageAndApplyCommitsOnlyADirtyPage) {
    struct Case {
        const char* name;
        HRESULT commitResult;
        HRESULT dirtyAfter; // IsPageDirty after Apply
    } cases[] = {
        {"commit succeeds", S_OK, S_FALSE},
        {"commit succeeds softly", S_FALSE, S_FALSE},
        {"commit fails", E_FAIL, S_OK},
    };
    CreateBoundPage();
    ASSERT_EQ(page_->Activate(parent_, &pageRect_, FALSE), S_OK);
    UINT edits = 0;
    for (const Case& c : cases) {
        log_.calls.clear();
        site_.statusChanges.clear();
        log_.commitResult = c.commitResult;
        EXPECT_EQ(page_->IsPageDirty(), S_FALSE) << c.name;
        EXPECT_EQ(page_->Apply(), S_OK) << c.name << ": a clean page";
        EXPECT_TRUE(log_.calls.empty()) << c.name << ": a clean page was committed";

        // A real edit control notifies its dialog through PageDialogProc.
        ASSERT_TRUE(SetDlgItemInt(PageWindow(), IDC_TEST_EDIT, ++edits, FALSE));
        EXPECT_EQ(page_->IsPageDirty(), S_OK) << c.name;
        EXPECT_EQ(page_->Apply(), c.commitResult) << c.name;
        EXPECT_EQ(page_->IsPageDirty(), c.dirtyAfter) << c.name;
        EXPECT_EQ(log_.calls, (std::vector<std::string>{"CommitChanges"})) << c.name;
        // Only the page tells the site; the base never reports it clean.
        EXPECT_EQ(site_.statusChanges, (std::vector<DWORD>{PROPPAGESTATUS_DIRTY})) << c.name;
        log_.commitResult = S_OK;
        EXPECT_EQ(page_->Apply(), S_OK) << c.name;
    }
    EXPECT_EQ(page_->Deactivate(), S_OK);
}

TEST_F(PropertyPageBaseTest, ApplyNeedsAnObjectAndASite) {
    CreatePage();
    EXPECT_EQ(page_->Apply(), E_UNEXPECTED) << "neither";
    ASSERT_EQ(page_->SetPageSite(&site_), S_OK);
    EXPECT_EQ(page_->Apply(), E_UNEXPECTED) << "site only";
    ASSERT_EQ(page_->SetPageSite(nullptr), S_OK);
    IUnknown* objects[] = {&object_};
    ASSERT_EQ(page_->SetObjects(1, objects), S_OK);
    EXPECT_EQ(page_->Apply(), E_UNEXPECTED) << "object only";
    ASSERT_EQ(page_->SetPageSite(&site_), S_OK);
    EXPECT_EQ(page_->Apply(), S_OK) << "both";
}

TEST_F(PropertyPageBaseTest, PageInfoGivesTheTitleAndTheMeasuredSize) {
    const SIZE measured = TestDialogSize();
    ASSERT_GT(measured.cx, 0);
    ASSERT_GT(measured.cy, 0);
    struct Case {
        const char* name;
        int dialogId;
        int titleId;
        std::wstring title;
        SIZE size;
    } cases[] = {
        {"title and dialog", IDD_TEST_PAGE, IDS_TEST_TITLE, L"Test Page", measured},
        {"long title", IDD_TEST_PAGE, IDS_LONG_TITLE,
         std::wstring(250, L'T') + std::wstring(5, L'u'), measured},
        {"neither", IDD_MISSING_PAGE, IDS_MISSING_TITLE, L"", SIZE{340, 150}},
    };
    for (const Case& c : cases) {
        CreatePage(c.dialogId, c.titleId);
        PROPPAGEINFO info;
        FillMemory(&info, sizeof(info), 0xCD);
        ASSERT_EQ(page_->GetPageInfo(&info), S_OK) << c.name;
        EXPECT_EQ(info.cb, sizeof(PROPPAGEINFO)) << c.name;
        ASSERT_NE(info.pszTitle, nullptr) << c.name;
        EXPECT_EQ(std::wstring(info.pszTitle), c.title) << c.name;
        EXPECT_EQ(info.size.cx, c.size.cx) << c.name;
        EXPECT_EQ(info.size.cy, c.size.cy) << c.name;
        EXPECT_EQ(info.pszDocString, nullptr) << c.name;
        EXPECT_EQ(info.pszHelpFile, nullptr) << c.name;
        EXPECT_EQ(info.dwHelpContext, 0u) << c.name;
        CoTaskMemFree(info.pszTitle);
        // The measuring dialog has no page behind it.
        EXPECT_EQ(log_.pageMessages, 0) << c.name;
    }
}

TEST_F(PropertyPageBaseTest, TheLastReleaseDropsTheSiteAndUnbindsBeforeDestruction) {
    struct Case {
        const char* name;
        bool active;
        std::vector<std::string> calls;
    } cases[] = {
        {"inactive", false, {"BindObject", "UnbindObject", "destroyed"}},
        // Its dialog would otherwise keep a pointer to the freed page.
        {"active", true, {"BindObject", "FillPage", "LeavePage", "UnbindObject", "destroyed"}},
    };
    for (const Case& c : cases) {
        log_.calls.clear();
        CreateBoundPage();
        if (c.active) {
            ASSERT_EQ(page_->Activate(parent_, &pageRect_, FALSE), S_OK) << c.name;
        }
        page_ = nullptr;
        EXPECT_EQ(site_.references, 0) << c.name;
        EXPECT_EQ(object_.references, 0) << c.name;
        EXPECT_EQ(ChildWindowCount(parent_), 0) << c.name;
        EXPECT_EQ(log_.calls, c.calls) << c.name;
    }
}

} // namespace
