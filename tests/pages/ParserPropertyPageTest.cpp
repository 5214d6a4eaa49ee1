// The parser's page in a real window, bound to a counted fake of the
// parser's control interface.
#include "pages/PageResources.h"
#include "tests/pages/PageTestBase.h"

#include <vfwmsgs.h>

namespace {

class ParserPropertyPageTest : public PageTestBase {
protected:
    void TearDown() override {
        PageTestBase::TearDown();
        EXPECT_EQ(1, parser_.references) << "the parser's interface leaked or was over-released";
    }

    // Creates the page, binds it to the fake parser and activates it.
    HWND Show() {
        CreatePage(CLSID_AdxParserPropertyPage);
        IUnknown* object = &parser_;
        EXPECT_EQ(S_OK, page_->SetObjects(1, &object));
        return Activate();
    }

    // Five loops at 44100 Hz, the chosen one second.
    void GiveFiveLoops() {
        parser_.loops = {LoopBetween(0, 2646000), LoopBetween(441000, 5292000),
                         LoopBetween(44100, 88200), LoopBetween(2690100, 2734200),
                         LoopBetween(0, 44099)};
        parser_.loopIndex = 1;
        parser_.loopEnabled = 1;
    }

    bool Checked() const {
        return IsDlgButtonChecked(PageWindow(), IDC_LOOP_ENABLE) == BST_CHECKED;
    }

    FakeParserControl parser_;
};

TEST_F(ParserPropertyPageTest, ShowsTheStreamAndItsLoops) {
    GiveFiveLoops();
    parser_.fileOffset = 2048;
    Show();

    EXPECT_EQ(L"ver:3\nbl/bi/sa:18/4/32\nchannel:2\nsample rate:44100\nsample:1000000",
              Text(IDC_PARSER_INFO));
    const std::vector<std::wstring> expected = {L"[0]0:00-1:00", L"[1]0:10-2:00", L"[2]0:01-0:02",
                                                L"[3]1:01-1:02", L"[4]0:00-0:00"};
    EXPECT_EQ(expected, ComboEntries(IDC_LOOP_LIST));
    EXPECT_EQ(1, ComboSelection(IDC_LOOP_LIST));
    EXPECT_TRUE(Checked());
    EXPECT_EQ(L"2048", Text(IDC_FILE_OFFSET));
    EXPECT_TRUE(Enabled(IDC_LOOP_LIST));
    EXPECT_TRUE(Enabled(IDC_FILE_OFFSET));
    // The checkbox only carries the flag; the user never sees it.
    EXPECT_FALSE(IsWindowVisible(Control(IDC_LOOP_ENABLE)));
    // Filling is not editing.
    EXPECT_EQ(S_FALSE, page_->IsPageDirty());
    EXPECT_TRUE(site_.statusChanges.empty());
}

TEST_F(ParserPropertyPageTest, SelectsTheParsersChoiceOrElseTheFirstLoop) {
    struct Case {
        INT32 chosen;
        LRESULT selected;
    };
    for (const Case& c : {Case{2, 2}, Case{4, 4}, Case{0, 0}, Case{7, 0}, Case{-1, 0}}) {
        SCOPED_TRACE(c.chosen);
        GiveFiveLoops();
        parser_.loopIndex = c.chosen;
        parser_.loopEnabled = 0;
        Show();
        EXPECT_EQ(c.selected, ComboSelection(IDC_LOOP_LIST));
        EXPECT_FALSE(Checked());
        EXPECT_EQ(0u, page_->Release());
        page_ = nullptr;
    }
}

TEST_F(ParserPropertyPageTest, FormatsLoopTimesFromTheSampleRate) {
    struct Case {
        INT32 sampleRate;
        INT32 startSample;
        INT32 endSample;
        const wchar_t* entry;
    };
    const Case cases[] = {
        {44100, 441000, 5292000, L"[0]0:10-2:00"},
        {44100, 0, 2646000, L"[0]0:00-1:00"},
        {22050, 22050 * 61, 22050 * 600 + 22049, L"[0]1:01-10:00"},
        {32000, 32000 * 3600, 32000 * 6000, L"[0]60:00-100:00"},
        // No rate: nothing to divide by, so the samples themselves.
        {0, 441000, 5292000, L"[0]441000-5292000"},
        {-1, 2147483647, -2147483647 - 1, L"[0]2147483647--2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sampleRate);
        parser_.info.sampleRate = c.sampleRate;
        parser_.loops = {LoopBetween(c.startSample, c.endSample)};
        Show();
        ASSERT_EQ(1u, ComboEntries(IDC_LOOP_LIST).size());
        EXPECT_EQ(c.entry, ComboEntries(IDC_LOOP_LIST)[0]);
        EXPECT_EQ(0u, page_->Release());
        page_ = nullptr;
    }
}

TEST_F(ParserPropertyPageTest, StreamsWithoutLoopsOrInformationDisableTheLoopControls) {
    struct Case {
        const char* label;
        HRESULT formatResult;
        INT32 version;
        const wchar_t* text;
        std::vector<std::wstring> entries;
    };
    const Case cases[] = {
        {"no loops", S_OK, 3, nullptr, {L"NO LOOP"}},
        {"no stream", S_OK, 0, L"N/A", {}},
        {"no answer", E_FAIL, 3, L"ERROR:Can't get info", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        parser_.formatResult = c.formatResult;
        parser_.info.version = c.version;
        parser_.loops.clear();
        parser_.fileOffset = 77;
        Show();
        if (c.text != nullptr) {
            EXPECT_EQ(c.text, Text(IDC_PARSER_INFO));
        }
        EXPECT_EQ(c.entries, ComboEntries(IDC_LOOP_LIST));
        if (!c.entries.empty()) {
            EXPECT_EQ(0, ComboSelection(IDC_LOOP_LIST));
        }
        EXPECT_FALSE(Enabled(IDC_LOOP_LIST));
        EXPECT_FALSE(Enabled(IDC_LOOP_ENABLE));
        EXPECT_FALSE(Checked());
        // The offset is still there to set.
        EXPECT_TRUE(Enabled(IDC_FILE_OFFSET));
        EXPECT_EQ(L"77", Text(IDC_FILE_OFFSET));

        // Apply then handles the offset only.
        SetWindowTextW(Control(IDC_FILE_OFFSET), L"99");
        EXPECT_EQ(S_OK, page_->Apply());
        EXPECT_EQ(std::vector<INT32>{99}, parser_.offsetsSet);
        EXPECT_TRUE(parser_.loopsSet.empty());
        EXPECT_EQ(0u, page_->Release());
        page_ = nullptr;
        parser_.offsetsSet.clear();
    }
}

TEST_F(ParserPropertyPageTest, UserChangesMarkThePageDirtyAndTellTheSite) {
    struct Case {
        const char* label;
        int control;
        WORD code;
        bool dirties;
    };
    const Case cases[] = {
        {"loop chosen", IDC_LOOP_LIST, CBN_SELCHANGE, true},
        {"offset typed", IDC_FILE_OFFSET, EN_CHANGE, true},
        {"loop box clicked", IDC_LOOP_ENABLE, BN_CLICKED, true},
        {"other click", IDC_LOOP_LIST, BN_CLICKED, false},
        {"focus", IDC_FILE_OFFSET, EN_SETFOCUS, false},
    };
    GiveFiveLoops();
    Show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        site_.statusChanges.clear();
        Notify(c.control, c.code);
        EXPECT_EQ(c.dirties ? S_OK : S_FALSE, page_->IsPageDirty());
        EXPECT_EQ(c.dirties ? std::vector<DWORD>{PROPPAGESTATUS_DIRTY} : std::vector<DWORD>{},
                  site_.statusChanges);
        EXPECT_EQ(S_OK, page_->Apply()); // clean again for the next case
    }
}

TEST_F(ParserPropertyPageTest, ApplyHandsTheChoiceAndTheOffsetToTheParser) {
    GiveFiveLoops();
    parser_.fileOffset = 0;
    Show();

    // What a user does: pick loop 3, tick the loop box off, type an offset.
    SendMessageW(Control(IDC_LOOP_LIST), CB_SETCURSEL, 3, 0);
    Notify(IDC_LOOP_LIST, CBN_SELCHANGE);
    SendMessageW(Control(IDC_LOOP_ENABLE), BM_CLICK, 0, 0);
    SetWindowTextW(Control(IDC_FILE_OFFSET), L"4096");
    EXPECT_EQ(S_OK, page_->IsPageDirty());

    EXPECT_EQ(S_OK, page_->Apply());
    EXPECT_EQ(std::vector<INT32>{4096}, parser_.offsetsSet);
    ASSERT_EQ(1u, parser_.loopsSet.size());
    EXPECT_EQ(3, parser_.loopsSet[0].index);
    EXPECT_EQ(0, parser_.loopsSet[0].enable);
    EXPECT_EQ(L"4096", Text(IDC_FILE_OFFSET));
    EXPECT_FALSE(Checked());
    EXPECT_EQ(S_FALSE, page_->IsPageDirty());

    // Nothing changed since: a second Apply asks nothing of the parser.
    Notify(IDC_LOOP_LIST, CBN_SELCHANGE);
    site_.statusChanges.clear();
    EXPECT_EQ(S_OK, page_->Apply());
    EXPECT_EQ(1u, parser_.offsetsSet.size());
    EXPECT_EQ(1u, parser_.loopsSet.size());
    // The edit was not rewritten, so it did not report a change.
    EXPECT_TRUE(site_.statusChanges.empty());
}

TEST_F(ParserPropertyPageTest, RefusedChangesSnapBackToTheParsersValues) {
    GiveFiveLoops();
    parser_.fileOffset = 512;
    parser_.setOffsetResult = VFW_E_ALREADY_CONNECTED;
    parser_.setLoopResult = S_FALSE;
    Show();

    SetWindowTextW(Control(IDC_FILE_OFFSET), L"1024");
    SendMessageW(Control(IDC_LOOP_ENABLE), BM_CLICK, 0, 0);
    EXPECT_FALSE(Checked());
    EXPECT_EQ(S_OK, page_->Apply());

    EXPECT_EQ(std::vector<INT32>{1024}, parser_.offsetsSet);
    EXPECT_EQ(L"512", Text(IDC_FILE_OFFSET));
    EXPECT_EQ(1u, parser_.loopsSet.size());
    EXPECT_TRUE(Checked()); // the parser's flag
    EXPECT_EQ(S_FALSE, page_->IsPageDirty());
}

TEST_F(ParserPropertyPageTest, AnObjectWithoutTheParsersInterfaceShowsAnError) {
    parser_.refuseInterface = true;
    GiveFiveLoops();
    CreatePage(CLSID_AdxParserPropertyPage);
    IUnknown* object = &parser_;
    EXPECT_EQ(E_NOINTERFACE, page_->SetObjects(1, &object));

    // Still counts as bound: it activates, shows the error and offers nothing.
    Activate();
    EXPECT_EQ(L"ERROR:Can't get info", Text(IDC_PARSER_INFO));
    EXPECT_FALSE(Enabled(IDC_LOOP_LIST));
    EXPECT_FALSE(Enabled(IDC_FILE_OFFSET));
    Notify(IDC_FILE_OFFSET, EN_CHANGE);
    EXPECT_EQ(S_OK, page_->Apply());
    EXPECT_TRUE(parser_.offsetsSet.empty());
    EXPECT_EQ(S_OK, page_->Deactivate());
}

TEST_F(ParserPropertyPageTest, ReactivationRefillsWithoutMakingThePageDirty) {
    GiveFiveLoops();
    parser_.fileOffset = 300;
    Show();
    EXPECT_EQ(S_OK, page_->Deactivate());
    parser_.fileOffset = 400;
    Activate();
    EXPECT_EQ(L"400", Text(IDC_FILE_OFFSET));
    EXPECT_EQ(5u, ComboEntries(IDC_LOOP_LIST).size());
    EXPECT_EQ(S_FALSE, page_->IsPageDirty());
    EXPECT_TRUE(site_.statusChanges.empty());
}

TEST_F(ParserPropertyPageTest, EditsSurviveATabSwitchUntilApply) {
    GiveFiveLoops();
    parser_.fileOffset = 300;
    Show();
    SetWindowTextW(Control(IDC_FILE_OFFSET), L"600");
    SendMessageW(Control(IDC_LOOP_LIST), CB_SETCURSEL, 3, 0);
    Notify(IDC_LOOP_LIST, CBN_SELCHANGE);

    // The frame switches tabs away and back: the edits are shown again.
    EXPECT_EQ(S_OK, page_->Deactivate());
    EXPECT_EQ(S_OK, page_->IsPageDirty());
    Activate();
    EXPECT_EQ(L"600", Text(IDC_FILE_OFFSET));
    EXPECT_EQ(3, ComboSelection(IDC_LOOP_LIST));
    EXPECT_EQ(S_OK, page_->IsPageDirty());
    EXPECT_TRUE(parser_.offsetsSet.empty());

    // Away again, then Apply: the parser gets what the user chose.
    EXPECT_EQ(S_OK, page_->Deactivate());
    EXPECT_EQ(S_OK, page_->Apply());
    EXPECT_EQ(std::vector<INT32>{600}, parser_.offsetsSet);
    ASSERT_EQ(1u, parser_.loopsSet.size());
    EXPECT_EQ(3, parser_.loopsSet[0].index);
    EXPECT_EQ(1, parser_.loopsSet[0].enable);
    EXPECT_EQ(S_FALSE, page_->IsPageDirty());
}

TEST_F(ParserPropertyPageTest, DialogMatchesItsTemplate) {
    GiveFiveLoops();
    HWND dialog = Show();
    struct Case {
        int id;
        const wchar_t* className;
        RECT units; // x, y, width, height in dialog units, as the template has them
        DWORD styles;
        bool visible;
    };
    const Case cases[] = {
        // The combo box hands WS_VSCROLL to its list, the edit turns WS_BORDER
        // into a client edge: neither stays in the control's own style.
        {IDC_PARSER_INFO, L"Static", {12, 12, 66, 42}, WS_GROUP, true},
        {IDC_LOOP_LIST, L"ComboBox", {96, 12, 102, 48}, CBS_DROPDOWNLIST | WS_TABSTOP, true},
        {IDC_FILE_OFFSET,
         L"Edit",
         {96, 42, 48, 12},
         WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL | ES_RIGHT,
         true},
        {IDC_LOOP_ENABLE, L"Button", {207, 13, 29, 10}, BS_AUTOCHECKBOX | WS_TABSTOP, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        HWND control = Control(c.id);
        ASSERT_NE(nullptr, control);
        wchar_t className[32] = {};
        GetClassNameW(control, className, 32);
        EXPECT_EQ(0, lstrcmpiW(c.className, className));
        EXPECT_EQ(c.styles, static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE)) & c.styles);
        EXPECT_EQ(c.visible, IsWindowVisible(control) != FALSE);
        if (c.id == IDC_FILE_OFFSET) {
            EXPECT_TRUE((GetWindowLongW(control, GWL_STYLE) & WS_BORDER) ||
                        (GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
        }
        // The dialog manager maps x, y, width and height one by one.
        RECT expected = c.units;
        MapDialogRect(dialog, &expected);
        RECT actual;
        GetWindowRect(control, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(expected.left, actual.left);
        EXPECT_EQ(expected.top, actual.top);
        EXPECT_EQ(expected.right, actual.right - actual.left);
        if (c.id != IDC_LOOP_LIST) { // a drop-down list sizes itself
            EXPECT_EQ(expected.bottom, actual.bottom - actual.top);
        }
    }
}

} // namespace
