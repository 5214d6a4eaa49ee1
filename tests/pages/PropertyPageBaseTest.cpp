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
        EXPECT_EQ(1, decoder_.references);
    }
    HRESULT Bind() {
        IUnknown* object = &decoder_;
        return page_->SetObjects(1, &object);
    }

    FakeDecoderInfo decoder_;
    const RECT rect_ = {10, 20, 110, 80};
};

TEST_F(PropertyPageBaseTest, CallsOutOfOrderAreRefused) {
    // Nothing bound: no activation, no window.
    EXPECT_EQ(E_UNEXPECTED, page_->Activate(frame_, &rect_, FALSE));
    EXPECT_EQ(nullptr, PageWindow());
    EXPECT_EQ(E_UNEXPECTED, page_->Apply());
    // Without a window.
    EXPECT_EQ(E_UNEXPECTED, page_->Show(SW_SHOW));
    EXPECT_EQ(E_UNEXPECTED, page_->Move(&rect_));
    EXPECT_EQ(E_UNEXPECTED, page_->Deactivate());
    // Sites: one at a time.
    EXPECT_EQ(E_UNEXPECTED, page_->SetPageSite(&site_));
    EXPECT_EQ(S_OK, page_->SetPageSite(nullptr));
    EXPECT_EQ(E_UNEXPECTED, page_->SetPageSite(nullptr));
    EXPECT_EQ(1, site_.references);

    ASSERT_EQ(S_OK, Bind());
    EXPECT_EQ(E_UNEXPECTED, page_->Apply()); // no site
    EXPECT_EQ(S_OK, page_->SetPageSite(&site_));
    EXPECT_EQ(S_OK, page_->Activate(frame_, &rect_, FALSE));
    HWND window = PageWindow();
    EXPECT_EQ(E_UNEXPECTED, page_->Activate(frame_, &rect_, FALSE));
    EXPECT_EQ(window, PageWindow());
    EXPECT_EQ(nullptr, GetWindow(window, GW_HWNDNEXT)); // still one page window

    EXPECT_EQ(E_NOTIMPL, page_->Help(L""));
    MSG message = {};
    EXPECT_EQ(E_NOTIMPL, page_->TranslateAccelerator(&message));
}

TEST_F(PropertyPageBaseTest, ObjectListsOtherThanOneObjectAreRefused) {
    IUnknown* nothing[2] = {nullptr, nullptr};
    IUnknown* two[2] = {&decoder_, &decoder_};
    EXPECT_EQ(E_POINTER, page_->SetObjects(1, nullptr));
    EXPECT_EQ(E_POINTER, page_->SetObjects(1, nothing));
    EXPECT_EQ(E_UNEXPECTED, page_->SetObjects(2, two));
    EXPECT_EQ(1, decoder_.references);
    // Binding, then binding again, holds one reference.
    ASSERT_EQ(S_OK, Bind());
    ASSERT_EQ(S_OK, Bind());
    EXPECT_EQ(2, decoder_.references);
    EXPECT_EQ(S_OK, page_->SetObjects(0, nullptr));
    EXPECT_EQ(1, decoder_.references);
    EXPECT_EQ(E_POINTER, page_->Activate(frame_, nullptr, FALSE));
}

TEST_F(PropertyPageBaseTest, ActivateShowsMoveAndDeactivateDestroys) {
    ASSERT_EQ(S_OK, Bind());
    ASSERT_EQ(S_OK, page_->Activate(frame_, &rect_, FALSE));
    HWND window = PageWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(IsWindowVisible(window));

    const auto placement = [&] {
        RECT actual;
        GetWindowRect(window, &actual);
        MapWindowPoints(nullptr, frame_, reinterpret_cast<POINT*>(&actual), 2);
        return actual;
    };
    RECT actual = placement();
    EXPECT_EQ(rect_.left, actual.left);
    EXPECT_EQ(rect_.top, actual.top);
    EXPECT_EQ(rect_.right, actual.right);
    EXPECT_EQ(rect_.bottom, actual.bottom);

    const RECT moved = {30, 40, 330, 240};
    EXPECT_EQ(S_OK, page_->Move(&moved));
    actual = placement();
    EXPECT_EQ(moved.left, actual.left);
    EXPECT_EQ(moved.bottom, actual.bottom);
    EXPECT_EQ(E_POINTER, page_->Move(nullptr));

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
        EXPECT_EQ(c.result, page_->Show(c.command));
        EXPECT_EQ(c.visible, IsWindowVisible(window) != FALSE);
    }

    // The page keeps itself a control parent while active.
    SetWindowLongW(window, GWL_EXSTYLE, 0);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);

    EXPECT_EQ(S_OK, page_->Deactivate());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, PageWindow());
    EXPECT_EQ(E_UNEXPECTED, page_->Deactivate());
    // Activating again makes a fresh, refilled dialog.
    EXPECT_EQ(S_OK, page_->Activate(frame_, &rect_, FALSE));
    EXPECT_NE(nullptr, PageWindow());
    EXPECT_EQ(2, decoder_.streamInfoCalls);
}

TEST_F(PropertyPageBaseTest, PageInfoGivesTheTitleAndTheDialogsSize) {
    struct Case {
        const CLSID* pageClass;
        const wchar_t* title;
    };
    for (const Case& c : {Case{&CLSID_AdxDecoderPropertyPage, L"Quellvane"},
                          Case{&CLSID_AdxParserPropertyPage, L"VAZ Iraz Ozadiz"}}) {
        IPropertyPage* other = nullptr;
        ASSERT_EQ(S_OK, module_.Create(*c.pageClass, IID_IPropertyPage,
                                       reinterpret_cast<void**>(&other)));
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
        IUnknown* object = &decoder_;
        IPropertyPage* shown = page_;
        shown->SetObjects(1, &object);
        ASSERT_EQ(S_OK, shown->Activate(frame_, &rect_, FALSE));
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
    EXPECT_EQ(2, site_.references);
    EXPECT_EQ(2, decoder_.references);
    // More references through the page's interface reach the same count.
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, page_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(0u, page_->Release());
    page_ = nullptr;
    EXPECT_EQ(1, site_.references);
    EXPECT_EQ(1, decoder_.references);
}

} // namespace
