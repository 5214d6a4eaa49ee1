// The pages bound to the module's real filters in a real graph: the file
// source holds an ADX fixture, the parser is connected to it, the decoder
// behind the parser. Each test also saves a screenshot of its page.
#include "pages/PageResources.h"
#include "tests/support/BoundedWait.h"
#include "tests/pages/FilterGraphFixture.h"
#include "tests/pages/PageTestBase.h"
#include "tests/pages/PngWriter.h"

#include <string>
#include <vector>

namespace {

// A PNG of `window` as the (virtual) screen shows it, in the test's build
// directory.
bool SaveScreenshot(HWND window, const char* name) {
    HWND frame = GetAncestor(window, GA_ROOT);
    SetWindowPos(frame, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(frame, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    GdiFlush();
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height; // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY)) {
            GdiFlush();
            const auto* first = static_cast<const std::uint8_t*>(bits);
            const std::vector<std::uint8_t> pixels(first,
                                                   first + static_cast<size_t>(width) * height * 4);
            saved = WritePng(LoadedModule::WindowsPath(CORVINA_SCREENSHOT_DIR "/") +
                                 std::wstring(name, name + strlen(name)),
                             width, height, pixels);
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

class PagesWithFiltersTest : public PageTestBase {
protected:
    void SetUp() override {
        PageTestBase::SetUp();
        // One file per process: cases run side by side, and the file source
        // of one keeps its file open while another would rewrite it.
        fixturePath_ = LoadedModule::WindowsPath(CORVINA_SCREENSHOT_DIR "/loops-") +
                       std::to_wstring(GetCurrentProcessId()) + L".adx";
        const std::string failure = graph_.Build(module_, fixturePath_);
        ASSERT_EQ("", failure);
    }
    void TearDown() override {
        if (page_ != nullptr) {
            EXPECT_EQ(0u, page_->Release());
            page_ = nullptr;
        }
        graph_.Release();
        DeleteFileW(fixturePath_.c_str());
        PageTestBase::TearDown();
    }

    // The page the filter names, bound to the filter and shown.
    void ShowPageOf(IBaseFilter* filter, REFCLSID expectedPage) {
        ISpecifyPropertyPages* specify = nullptr;
        ASSERT_EQ(S_OK, filter->QueryInterface(IID_ISpecifyPropertyPages,
                                               reinterpret_cast<void**>(&specify)));
        CAUUID pages = {};
        ASSERT_EQ(S_OK, specify->GetPages(&pages));
        specify->Release();
        ASSERT_EQ(1u, pages.cElems);
        const CLSID named = pages.pElems[0];
        CoTaskMemFree(pages.pElems);
        ASSERT_TRUE(IsEqualCLSID(expectedPage, named));

        CreatePage(named);
        IUnknown* object = filter;
        ASSERT_EQ(S_OK, page_->SetObjects(1, &object));
        Activate();
        // The frame gives the page the size it asks for.
        PROPPAGEINFO info = {};
        ASSERT_EQ(S_OK, page_->GetPageInfo(&info));
        CoTaskMemFree(info.pszTitle);
        const RECT rect = {8, 8, 8 + info.size.cx, 8 + info.size.cy};
        ASSERT_EQ(S_OK, page_->Move(&rect));
    }

    const bounded::Watchdog watchdog_{"the graph behind the page", 60000};
    std::wstring fixturePath_;
    FilterGraphFixture graph_;
};

TEST_F(PagesWithFiltersTest, ParserPageShowsTheConnectedStream) {
    ShowPageOf(graph_.parser, CLSID_AdxParserPropertyPage);
    EXPECT_EQ(L"ver:3\nbl/bi/sa:18/4/32\nchannel:2\nsample rate:44100\nsample:176400",
              Text(IDC_PARSER_INFO));
    const std::vector<std::wstring> loops = {L"[0]0:01-0:03", L"[1]0:00-0:03"};
    EXPECT_EQ(loops, ComboEntries(IDC_LOOP_LIST));
    EXPECT_EQ(0, ComboSelection(IDC_LOOP_LIST));
    EXPECT_EQ(L"0", Text(IDC_FILE_OFFSET));
    EXPECT_TRUE(SaveScreenshot(PageWindow(), "parser-page.png"));

    // The connected parser refuses a new offset; the loop choice goes through.
    SetWindowTextW(Control(IDC_FILE_OFFSET), L"16");
    SendMessageW(Control(IDC_LOOP_LIST), CB_SETCURSEL, 1, 0);
    Notify(IDC_LOOP_LIST, CBN_SELCHANGE);
    SendMessageW(Control(IDC_LOOP_ENABLE), BM_CLICK, 0, 0);
    EXPECT_EQ(S_OK, page_->Apply());
    EXPECT_EQ(L"0", Text(IDC_FILE_OFFSET));

    IAdxParserControl* control = nullptr;
    ASSERT_EQ(S_OK, graph_.parser->QueryInterface(IID_IAdxParserControl,
                                                  reinterpret_cast<void**>(&control)));
    INT32 index = -1;
    INT32 enabled = -1;
    EXPECT_EQ(S_OK, control->GetLoop(&index, &enabled));
    EXPECT_EQ(1, index);
    EXPECT_EQ(1, enabled);
    EXPECT_EQ(0, control->GetFileOffset());
    control->Release();
}

TEST_F(PagesWithFiltersTest, DecoderPageShowsTheStreamOnceConnected) {
    ASSERT_EQ("", graph_.AddDecoder(module_));
    ShowPageOf(graph_.decoder, CLSID_AdxDecoderPropertyPage);
    EXPECT_EQ(L"ADX version:3\nblock size:18\nbit/sample:4\nsample/block:32\nchannel:2\n"
              L"sampling rate:44100",
              Text(IDC_DECODER_INFO));
    EXPECT_TRUE(SaveScreenshot(PageWindow(), "decoder-page.png"));
}

TEST_F(PagesWithFiltersTest, DecoderPageWithoutAStreamShowsNotAvailable) {
    IBaseFilter* decoder = nullptr;
    ASSERT_EQ(S_OK, module_.Create(CLSID_AdxDecoderFilter, IID_IBaseFilter,
                                   reinterpret_cast<void**>(&decoder)));
    ShowPageOf(decoder, CLSID_AdxDecoderPropertyPage);
    EXPECT_EQ(L"N/A", Text(IDC_DECODER_INFO));
    EXPECT_EQ(0u, page_->Release());
    page_ = nullptr;
    EXPECT_EQ(0u, decoder->Release());
}

} // namespace
