// The decoder's page in a real window, bound to a counted fake of the
// decoder's information interface.
#include "pages/PageResources.h"
#include "tests/pages/PageTestBase.h"

namespace {

class DecoderPropertyPageTest : public PageTestBase {
protected:
    void TearDown() override {
        PageTestBase::TearDown();
        EXPECT_EQ(1, decoder_.references) << "the decoder's interface leaked or was over-released";
    }

    FakeDecoderInfo decoder_;
};

TEST_F(DecoderPropertyPageTest, ShowsWhatTheDecoderReports) {
    struct Case {
        const char* label;
        HRESULT result;
        INT32 version;
        bool refuseInterface;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"stream", S_OK, 3, false,
         L"ADX version:3\nblock size:18\nbit/sample:4\nsample/block:32\nchannel:2\n"
         L"sampling rate:22050"},
        {"no stream yet", S_OK, 0, false, L"N/A"},
        {"no answer", E_FAIL, 3, false, L"ERROR:Can't get info"},
        {"not a decoder", S_OK, 3, true, L"ERROR:Can't get info"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        decoder_.result = c.result;
        decoder_.info.version = c.version;
        decoder_.refuseInterface = c.refuseInterface;
        decoder_.streamInfoCalls = 0;
        CreatePage(CLSID_AdxDecoderPropertyPage);
        IUnknown* object = &decoder_;
        EXPECT_EQ(c.refuseInterface ? E_NOINTERFACE : S_OK, page_->SetObjects(1, &object));
        Activate();
        EXPECT_EQ(c.text, Text(IDC_DECODER_INFO));
        EXPECT_EQ(c.refuseInterface ? 0 : 1, decoder_.streamInfoCalls);

        // The page changes nothing: Apply never calls the decoder.
        EXPECT_EQ(S_FALSE, page_->IsPageDirty());
        EXPECT_EQ(S_OK, page_->Apply());
        EXPECT_EQ(c.refuseInterface ? 0 : 1, decoder_.streamInfoCalls);
        EXPECT_TRUE(site_.statusChanges.empty());
        // Released while active: the window goes with the page.
        HWND window = PageWindow();
        EXPECT_EQ(0u, page_->Release());
        page_ = nullptr;
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(1, decoder_.references);
    }
}

TEST_F(DecoderPropertyPageTest, DialogMatchesItsTemplate) {
    CreatePage(CLSID_AdxDecoderPropertyPage);
    IUnknown* object = &decoder_;
    ASSERT_EQ(S_OK, page_->SetObjects(1, &object));
    HWND dialog = Activate();
    HWND info = Control(IDC_DECODER_INFO);
    ASSERT_NE(nullptr, info);
    RECT expected = {14, 9, 102, 50}; // x, y, width, height, mapped one by one
    MapDialogRect(dialog, &expected);
    RECT actual;
    GetWindowRect(info, &actual);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(expected.left, actual.left);
    EXPECT_EQ(expected.top, actual.top);
    EXPECT_EQ(expected.right, actual.right - actual.left);
    EXPECT_EQ(expected.bottom, actual.bottom - actual.top);
    EXPECT_TRUE(GetWindowLongW(info, GWL_STYLE) & WS_GROUP);
}

} // namespace
