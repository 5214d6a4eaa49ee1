// A property frame in miniature for the page tests: corvina.ax loaded by
// path, a real top-level window as the page's parent, a counted page site,
// and helpers that read the page's controls the way a user sees them.
#pragma once

#include "tests/module/LoadedModule.h"
#include "tests/pages/PageFakes.h"

#include <gtest/gtest.h>
#include <ocidl.h>

#include <string>
#include <vector>

class PageTestBase : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(module_.loaded()) << "cannot load corvina.ax";
        frame_ = CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 640, 320, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, frame_);
    }

    void TearDown() override {
        if (page_ != nullptr) {
            // The last release drops the site and the object first.
            EXPECT_EQ(0u, page_->Release());
            page_ = nullptr;
        }
        EXPECT_EQ(1, site_.references) << "the page site leaked or was over-released";
        EXPECT_EQ(S_OK, module_.CanUnloadNow()) << "a framework object is still alive";
        DestroyWindow(frame_);
        CoUninitialize();
    }

    // Creates the page through its class factory and gives it the site.
    void CreatePage(REFCLSID pageClass) {
        ASSERT_EQ(S_OK,
                  module_.Create(pageClass, IID_IPropertyPage, reinterpret_cast<void**>(&page_)));
        ASSERT_EQ(S_OK, page_->SetPageSite(&site_));
    }

    // Activates the bound page in the frame; the page's dialog window.
    HWND Activate() {
        const RECT rect = {8, 8, 8 + 500, 8 + 200};
        EXPECT_EQ(S_OK, page_->Activate(frame_, &rect, FALSE));
        return PageWindow();
    }

    HWND PageWindow() const { return GetWindow(frame_, GW_CHILD); }
    HWND Control(int id) const { return GetDlgItem(PageWindow(), id); }

    std::wstring Text(int id) const {
        wchar_t text[512] = {};
        GetWindowTextW(Control(id), text, 512);
        return text;
    }

    bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }

    std::vector<std::wstring> ComboEntries(int id) const {
        std::vector<std::wstring> entries;
        const LRESULT count = SendMessageW(Control(id), CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t text[128] = {};
            SendMessageW(Control(id), CB_GETLBTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(text));
            entries.push_back(text);
        }
        return entries;
    }

    LRESULT ComboSelection(int id) const { return SendMessageW(Control(id), CB_GETCURSEL, 0, 0); }

    // What a control tells its dialog when the user works it.
    void Notify(int id, WORD code) const {
        SendMessageW(PageWindow(), WM_COMMAND, MAKEWPARAM(id, code),
                     reinterpret_cast<LPARAM>(Control(id)));
    }

    LoadedModule module_;
    HWND frame_ = nullptr;
    IPropertyPage* page_ = nullptr;
    FakePageSite site_;
};
