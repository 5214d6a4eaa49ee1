// The property-page machinery every page shares, exercised through the
// decoder's page (the simplest one): order of calls, window life, page info.
#include "pages/PageResources.h"
#include "tests/pages/PageTestBase.h"

namespace {

class PropertyPageBaseTest : public PageTestBase {
protected:
    void SetUp() override {
        PageTestBase::SetUp();
        CreatePage(CLSID_AdxDecoderPropertyPage);
    }
    void TearDown() override {
        PageTestBase::TearDown();
        EXPECT_EQ(1, decoder.references);
    }
    HRESULT Bind() {
        IUnknown* object = &decoder;
        return page->SetObjects(1, &object);
    }

    FakeDecoderInfo decoder;
    const RECT rect = {10, 20, 110, 80};
};

TEST_F(PropertyPageBaseTest, CallsOutOfOrderAreRefused) {
    // Nothing bound: no activation, no window.
    EXPECT_EQ(E_UNEXPECTED, page->Activate(frame, &rect, FALSE));
    EXPECT_EQ(nullptr, PageWindow());
    EXPECT_EQ(E_UNEXPECTED, page->Apply());
    // Without a window.
    EXPECT_EQ(E_UNEXPECTED, page->Show(SW_SHOW));
    EXPECT_EQ(E_UNEXPECTED, page->Move(&rect));
    EXPECT_EQ(E_UNEXPECTED, page->Deactivate());
    // Sites: one at a time.
    EXPECT_EQ(E_UNEXPECTED, page->SetPageSite(&site));
    EXPECT_EQ(S_OK, page->SetPageSite(nullptr));
    EXPECT_EQ(E_UNEXPECTED, page->SetPageSite(nullptr));
    EXPECT_EQ(1, site.references);

    ASSERT_EQ(S_OK, Bind());
    EXPECT_EQ(E_UNEXPECTED, page->Apply()); // no site
    EXPECT_EQ(S_OK, page->SetPageSite(&site));
    EXPECT_EQ(S_OK, page->Activate(frame, &rect, FALSE));
    HWND window = PageWindow();
    EXPECT_EQ(E_UNEXPECTED, page->Activate(frame, &rect, FALSE));
    EXPECT_EQ(window, PageWindow());
    EXPECT_EQ(nullptr, GetWindow(window, GW_HWNDNEXT)); // still one page window

    EXPECT_EQ(E_NOTIMPL, page->Help(L""));
    MSG message = {};
    EXPECT_EQ(E_NOTIMPL, page->TranslateAccelerator(&message));
}

TEST_F(PropertyPageBaseTest, ObjectListsOtherThanOneObjectAreRefused) {
    IUnknown* nothing[2] = {nullptr, nullptr};
    IUnknown* two[2] = {&decoder, &decoder};
    EXPECT_EQ(E_POINTER, page->SetObjects(1, nullptr));
    EXPECT_EQ(E_POINTER, page->SetObjects(1, nothing));
    EXPECT_EQ(E_UNEXPECTED, page->SetObjects(2, two));
    EXPECT_EQ(1, decoder.references);
    // Binding, then binding again, holds one reference.
    ASSERT_EQ(S_OK, Bind());
    ASSERT_EQ(S_OK, Bind());
    EXPECT_EQ(2, decoder.references);
    EXPECT_EQ(S_OK, page->SetObjects(0, nullptr));
    EXPECT_EQ(1, decoder.references);
    EXPECT_EQ(E_POINTER, page->Activate(frame, nullptr, FALSE));
}

TEST_F(PropertyPageBaseTest, ActivateShowsMoveAndDeactivateDestroys) {
    ASSERT_EQ(S_OK, Bind());
    ASSERT_EQ(S_OK, page->Activate(frame, &rect, FALSE));
    HWND window = PageWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(IsWindowVisible(window));

    const auto placement = [&] {
        RECT actual;
        GetWindowRect(window, &actual);
        MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&actual), 2);
        return actual;
    };
    RECT actual = placement();
    EXPECT_EQ(rect.left, actual.left);
    EXPECT_EQ(rect.top, actual.top);
    EXPECT_EQ(rect.right, actual.right);
    EXPECT_EQ(rect.bottom, actual.bottom);

    const RECT moved = {30, 40, 330, 240};
    EXPECT_EQ(S_OK, page->Move(&moved));
    actual = placement();
    EXPECT_EQ(moved.left, actual.left);
    EXPECT_EQ(moved.bottom, actual.bottom);
    EXPECT_EQ(E_POINTER, page->Move(nullptr));

    struct ShowCase {
        UINT command;
        HRESULT result;
        bool visible;
    };
    for (const ShowCase& c : {ShowCase{SW_HIDE, S_OK, false}, ShowCase{SW_SHOW, S_OK, true},
                              ShowCase{SW_HIDE, S_OK, false}, ShowCase{SW_SHOWNORMAL, S_OK, true},
                              ShowCase{SW_MINIMIZE, E_INVALIDARG, true},
                              ShowCase{SW_SHOWMAXIMIZED, E_INVALIDARG, true}}) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(c.result, page->Show(c.command));
        EXPECT_EQ(c.visible, IsWindowVisible(window) != FALSE);
    }

    // The page keeps itself a control parent while active.
    SetWindowLongW(window, GWL_EXSTYLE, 0);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);

    EXPECT_EQ(S_OK, page->Deactivate());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, PageWindow());
    EXPECT_EQ(E_UNEXPECTED, page->Deactivate());
    // Activating again makes a fresh, refilled dialog.
    EXPECT_EQ(S_OK, page->Activate(frame, &rect, FALSE));
    EXPECT_NE(nullptr, PageWindow());
    EXPECT_EQ(2, decoder.streamInfoCalls);
}

TEST_F(PropertyPageBaseTest, PageInfoGivesTheTitleAndTheDialogsSize) {
    struct Case {
        const CLSID* pageClass;
        const wchar_t* title;
    };
    for (const Case& c : {Case{&CLSID_AdxDecoderPropertyPage, L"Quellvane"},
                          Case{&CLSID_AdxParserPropertyPage, L"VAZ Iraz Ozadiz"}}) {
        IPropertyPage* other = nullptr;
        ASSERT_EQ(S_OK,
                  module.Create(*c.pageClass, IID_IPropertyPage, reinterpret_cast<void**>(&other)));
        EXPECT_EQ(E_POINTER, other->GetPageInfo(nullptr));
        PROPPAGEINFO info = {};
        ASSERT_EQ(S_OK, other->GetPageInfo(&info));
        EXPECT_EQ(sizeof(PROPPAGEINFO), info.cb);
        ASSERT_NE(nullptr, info.pszTitle);
        EXPECT_STREQ(c.title, info.pszTitle);
        EXPECT_EQ(nullptr, info.pszDocString);
        EXPECT_EQ(nullptr, info.pszHelpFile);
        EXPECT_EQ(0u, info.dwHelpContext);
        CoTaskMemFree(info.pszTitle);

        // Both dialogs are 249 x 63 dialog units in the same font.
        IUnknown* object = &decoder;
        IPropertyPage* shown = page;
        shown->SetObjects(1, &object);
        ASSERT_EQ(S_OK, shown->Activate(frame, &rect, FALSE));
        RECT expected = {0, 0, 249, 63};
        MapDialogRect(PageWindow(), &expected);
        EXPECT_EQ(expected.right, info.size.cx);
        EXPECT_EQ(expected.bottom, info.size.cy);
        EXPECT_EQ(S_OK, shown->Deactivate());
        EXPECT_EQ(0u, other->Release());
    }
}

TEST_F(PropertyPageBaseTest, TheLastReleaseDropsTheSiteAndTheObjectFirst) {
    ASSERT_EQ(S_OK, Bind());
    EXPECT_EQ(2, site.references);
    EXPECT_EQ(2, decoder.references);
    // More references through the page's interface reach the same count.
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, page->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(0u, page->Release());
    page = nullptr;
    EXPECT_EQ(1, site.references);
    EXPECT_EQ(1, decoder.references);
}

} // namespace
