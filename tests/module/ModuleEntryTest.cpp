// The module's entry points as the COM run-time uses them: class objects for
// the four rows of its table, unload answers, and its resources.
#include "tests/module/LoadedModule.h"

#include <corvina.h>
#include <corvina_version.h>
#include <gtest/gtest.h>
#include <ocidl.h>
#include <strmif.h>

#include <string>
#include <vector>

namespace {

struct ClassRow {
    const char* label;
    const CLSID* classId;
    const IID* instanceInterface; // what an instance must give
};

const ClassRow kRows[] = {
    {"decoder filter", &CLSID_AdxDecoderFilter, &IID_IBaseFilter},
    {"decoder page", &CLSID_AdxDecoderPropertyPage, &IID_IPropertyPage},
    {"parser filter", &CLSID_AdxParserFilter, &IID_IBaseFilter},
    {"parser page", &CLSID_AdxParserPropertyPage, &IID_IPropertyPage},
};

// {9E02EE7C-75D9-4365-AC37-0B6BAFBAA14C}: the decoder's interface, not a class.
constexpr CLSID kNotAClass = {
    0x9e02ee7c, 0x75d9, 0x4365, {0xac, 0x37, 0x0b, 0x6b, 0xaf, 0xba, 0xa1, 0x4c}};

class ModuleEntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(module_.loaded()) << "cannot load corvina.ax";
    }
    void TearDown() override {
        // Every test leaves nothing alive behind.
        EXPECT_EQ(S_OK, module_.CanUnloadNow());
        CoUninitialize();
    }
    LoadedModule module_;
};

TEST_F(ModuleEntryTest, EveryRowHandsOutAFactoryWithOneReference) {
    for (const ClassRow& row : kRows) {
        SCOPED_TRACE(row.label);
        for (const IID* iid : {&IID_IClassFactory, &IID_IUnknown}) {
            IUnknown* factory = nullptr;
            ASSERT_EQ(S_OK, module_.GetClassObject(*row.classId, *iid,
                                                   reinterpret_cast<void**>(&factory)));
            ASSERT_NE(nullptr, factory);
            EXPECT_EQ(S_FALSE, module_.CanUnloadNow()); // the factory counts
            EXPECT_EQ(0u, factory->Release());
        }
    }
}

TEST_F(ModuleEntryTest, RefusesUnknownClassesAndInterfacesWithoutTouchingTheOutPointer) {
    struct Case {
        const char* label;
        const CLSID* classId;
        const IID* iid;
        HRESULT expected;
    };
    const Case cases[] = {
        {"unknown class", &kNotAClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"null class", &GUID_NULL, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
        {"unknown interface first", &kNotAClass, &IID_IPropertyPage, E_NOINTERFACE},
        {"known class, wrong interface", &CLSID_AdxParserPropertyPage, &IID_IPropertyPage,
         E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        void* sentinel = reinterpret_cast<void*>(static_cast<UINT_PTR>(0x1234));
        void* out = sentinel;
        EXPECT_EQ(c.expected, module_.GetClassObject(*c.classId, *c.iid, &out));
        EXPECT_EQ(sentinel, out);
    }
}

TEST_F(ModuleEntryTest, InstancesCountUntilReleasedAndServerLocksHoldTheModule) {
    for (const ClassRow& row : kRows) {
        SCOPED_TRACE(row.label);
        IClassFactory* factory = nullptr;
        ASSERT_EQ(S_OK, module_.GetClassObject(*row.classId, IID_IClassFactory,
                                               reinterpret_cast<void**>(&factory)));
        IUnknown* object = nullptr;
        const HRESULT created = factory->CreateInstance(nullptr, *row.instanceInterface,
                                                        reinterpret_cast<void**>(&object));
        if (created == CLASS_E_CLASSNOTAVAILABLE) {
            // The filter's library is not part of this build yet.
            EXPECT_EQ(0u, factory->Release());
            continue;
        }
        ASSERT_EQ(S_OK, created);
        EXPECT_EQ(0u, factory->Release());
        EXPECT_EQ(S_FALSE, module_.CanUnloadNow());
        EXPECT_EQ(0u, object->Release());
        EXPECT_EQ(S_OK, module_.CanUnloadNow());

        // An aggregating caller that asks for anything but IUnknown gets
        // nothing.
        ASSERT_EQ(S_OK, module_.GetClassObject(*row.classId, IID_IClassFactory,
                                               reinterpret_cast<void**>(&factory)));
        IUnknown* outer = reinterpret_cast<IUnknown*>(factory); // never called
        object = nullptr;
        EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(outer, *row.instanceInterface,
                                                         reinterpret_cast<void**>(&object)));
        EXPECT_EQ(S_OK, factory->LockServer(TRUE));
        EXPECT_EQ(0u, factory->Release());
        EXPECT_EQ(S_FALSE, module_.CanUnloadNow());
        ASSERT_EQ(S_OK, module_.GetClassObject(*row.classId, IID_IClassFactory,
                                               reinterpret_cast<void**>(&factory)));
        EXPECT_EQ(S_OK, factory->LockServer(FALSE));
        EXPECT_EQ(0u, factory->Release());
    }
}

TEST_F(ModuleEntryTest, PageTitlesAreInTheStringTable) {
    struct Case {
        UINT id;
        const wchar_t* text;
    };
    for (const Case& c : {Case{102, L"Quellvane"}, Case{103, L"VAZ Iraz Ozadiz"}}) {
        wchar_t text[64] = {};
        EXPECT_LT(0, LoadStringW(module_.handle(), c.id, text, 64)) << c.id;
        EXPECT_STREQ(c.text, text);
    }
}

TEST_F(ModuleEntryTest, VersionResourceNamesTheModule) {
    const std::wstring path = LoadedModule::Path();
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_LT(0u, size);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedBytes = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedBytes));
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(0x17u, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);

    // "a, b, c, d" from the numeric version.
    const auto numbers = [](DWORD high, DWORD low) {
        return std::to_wstring(HIWORD(high)) + L", " + std::to_wstring(LOWORD(high)) + L", " +
               std::to_wstring(HIWORD(low)) + L", " + std::to_wstring(LOWORD(low));
    };
    struct Entry {
        const wchar_t* name;
        std::wstring text;
    };
    const Entry entries[] = {
        {L"FileDescription", L"Quellvane"},
        {L"ProductName", L"Quellvane"},
        {L"OriginalFilename", L"corvina.ax"},
        {L"FileVersion", numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS)},
        {L"ProductVersion", numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS)},
        {L"FileVersion", L"" CORVINA_VERSION_RESOURCE_TEXT},
        {L"Comments", L"Free software under the MIT License (LICENSE.txt)"},
    };
    for (const Entry& entry : entries) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\000004b0\\") + entry.name;
        wchar_t* text = nullptr;
        UINT length = 0;
        ASSERT_TRUE(
            VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            << static_cast<const void*>(entry.name);
        EXPECT_EQ(entry.text, std::wstring(text));
    }
}

} // namespace
