// regsvr32 on the built corvina.ax in the test prefix: the class keys, the
// filter mapper's entries, and their removal.
#include "tests/module/Regsvr32.h"

#include <corvina.h>
#include <dshow.h>
#include <gtest/gtest.h>
#include <uuids.h>

#include <set>
#include <string>
#include <vector>

namespace {

struct ClassKey {
    const CLSID* classId;
    const wchar_t* displayName;
};

const ClassKey kClassKeys[] = {
    {&CLSID_AdxDecoderFilter, L"Quellvane"},
    {&CLSID_AdxDecoderPropertyPage, L"Quellvane Property Page"},
    {&CLSID_AdxParserFilter, L"VAZ Iraz Ozadiz"},
    {&CLSID_AdxParserPropertyPage, L"DIV Ozor Uvizod Property Page"},
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// A string value of HKCR\subKey (the default value for a null name), or
// nothing when the key or the value is missing.
bool ReadClassesString(const std::wstring& subKey, const wchar_t* name, std::wstring* text) {
    wchar_t buffer[512] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, subKey.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer,
                     &bytes) != ERROR_SUCCESS) {
        return false;
    }
    *text = buffer;
    return true;
}

bool ClassKeyExists(REFCLSID classId) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(classId)).c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// Class identifiers of the filters that a moniker enumerator yields.
std::set<std::wstring> ClassesOf(IEnumMoniker* monikers) {
    std::set<std::wstring> classes;
    if (monikers == nullptr) {
        return classes;
    }
    IMoniker* moniker = nullptr;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                             reinterpret_cast<void**>(&bag)))) {
            VARIANT value;
            VariantInit(&value);
            if (SUCCEEDED(bag->Read(L"CLSID", &value, nullptr)) && value.vt == VT_BSTR) {
                classes.insert(value.bstrVal);
            }
            VariantClear(&value);
            bag->Release();
        }
        moniker->Release();
    }
    monikers->Release();
    return classes;
}

std::set<std::wstring> LegacyCategoryClasses() {
    ICreateDevEnum* devices = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, reinterpret_cast<void**>(&devices)))) {
        return {};
    }
    IEnumMoniker* monikers = nullptr;
    devices->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, &monikers, 0);
    devices->Release();
    return ClassesOf(monikers);
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lock_.held()) << "another test kept the registry for two minutes";
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(
            SUCCEEDED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IFilterMapper2, reinterpret_cast<void**>(&mapper_))));
    }
    void TearDown() override {
        RunRegsvr32(L"/s /u"); // leave the prefix as it was
        if (mapper_ != nullptr) {
            mapper_->Release();
        }
        CoUninitialize();
    }

    // Filters the mapper offers at `merit` or above, for one input and/or one
    // output type (a null type: no condition).
    std::set<std::wstring> Matching(DWORD merit, const GUID* inputType, const GUID* outputType) {
        IEnumMoniker* monikers = nullptr;
        const HRESULT result = mapper_->EnumMatchingFilters(
            &monikers, 0, FALSE, merit, inputType != nullptr, inputType != nullptr ? 1 : 0,
            inputType, nullptr, nullptr, FALSE, outputType != nullptr,
            outputType != nullptr ? 1 : 0, outputType, nullptr, nullptr);
        EXPECT_EQ(S_OK, result);
        return ClassesOf(SUCCEEDED(result) ? monikers : nullptr);
    }

    RegistrationLock lock_;
    IFilterMapper2* mapper_ = nullptr;
};

TEST_F(RegistrationTest, Regsvr32WritesTheClassKeys) {
    ASSERT_EQ(0, RunRegsvr32(L"/s"));
    for (const ClassKey& row : kClassKeys) {
        const std::wstring key = L"CLSID\\" + GuidText(*row.classId);
        SCOPED_TRACE(std::string(key.begin(), key.end()));
        std::wstring text;
        ASSERT_TRUE(ReadClassesString(key, nullptr, &text));
        EXPECT_EQ(row.displayName, text);
        ASSERT_TRUE(ReadClassesString(key + L"\\InprocServer32", nullptr, &text));
        EXPECT_EQ(0, lstrcmpiW(LoadedModule::Path().c_str(), text.c_str()))
            << std::string(text.begin(), text.end());
        ASSERT_TRUE(ReadClassesString(key + L"\\InprocServer32", L"ThreadingModel", &text));
        EXPECT_EQ(L"Both", text);
    }

    ASSERT_EQ(0, RunRegsvr32(L"/s /u"));
    for (const ClassKey& row : kClassKeys) {
        EXPECT_FALSE(ClassKeyExists(*row.classId)) << std::wstring(row.displayName).size();
    }
}

TEST_F(RegistrationTest, TheMapperFindsBothFiltersByMeritAndPinTypes) {
    const std::wstring decoder = GuidText(CLSID_AdxDecoderFilter);
    const std::wstring parser = GuidText(CLSID_AdxParserFilter);
    ASSERT_EQ(0, RunRegsvr32(L"/s"));

    // Both filters in the legacy category, the pages not.
    const std::set<std::wstring> legacy = LegacyCategoryClasses();
    EXPECT_EQ(1u, legacy.count(decoder));
    EXPECT_EQ(1u, legacy.count(parser));
    EXPECT_EQ(0u, legacy.count(GuidText(CLSID_AdxDecoderPropertyPage)));
    EXPECT_EQ(0u, legacy.count(GuidText(CLSID_AdxParserPropertyPage)));

    const GUID adxType[2] = {MEDIATYPE_Audio, MEDIASUBTYPE_Adx};
    const GUID pcmType[2] = {MEDIATYPE_Audio, MEDIASUBTYPE_PCM};
    struct Case {
        const char* label;
        DWORD merit;
        const GUID* input;
        const GUID* output;
        bool decoderFound;
        bool parserFound;
    };
    const Case cases[] = {
        // The parser takes any input; the decoder takes ADX.
        {"ADX in, normal merit", 0x00600000, adxType, nullptr, true, false},
        {"ADX in, parser's merit", 0x005FFFFE, adxType, nullptr, true, true},
        {"ADX in, one above the parser", 0x005FFFFF, adxType, nullptr, true, false},
        {"PCM out", 0x005FFFFE, nullptr, pcmType, true, false},
        {"ADX out", 0x005FFFFE, nullptr, adxType, false, true},
        {"PCM in", 0x005FFFFE, pcmType, nullptr, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::set<std::wstring> found = Matching(c.merit, c.input, c.output);
        EXPECT_EQ(c.decoderFound, found.count(decoder) == 1);
        EXPECT_EQ(c.parserFound, found.count(parser) == 1);
    }

    ASSERT_EQ(0, RunRegsvr32(L"/s /u"));
    const std::set<std::wstring> after = LegacyCategoryClasses();
    EXPECT_EQ(0u, after.count(decoder));
    EXPECT_EQ(0u, after.count(parser));
}

TEST_F(RegistrationTest, RegisteringTwiceRewritesTheSameEntries) {
    ASSERT_EQ(0, RunRegsvr32(L"/s"));
    ASSERT_EQ(0, RunRegsvr32(L"/s"));
    const std::set<std::wstring> legacy = LegacyCategoryClasses();
    EXPECT_EQ(1u, legacy.count(GuidText(CLSID_AdxDecoderFilter)));
    EXPECT_EQ(1u, legacy.count(GuidText(CLSID_AdxParserFilter)));
    ASSERT_EQ(0, RunRegsvr32(L"/s /u"));
    EXPECT_FALSE(ClassKeyExists(CLSID_AdxDecoderFilter));
}

TEST_F(RegistrationTest, UnregisteringWhatIsGoneStillRemovesTheRest) {
    LoadedModule module;
    ASSERT_TRUE(module.loaded());
    ASSERT_EQ(S_OK, module.CallRegistrationExport("DllRegisterServer"));
    // The decoder's mapper entry disappears behind the module's back, as
    // after a registration that stopped halfway.
    ASSERT_EQ(S_OK, mapper_->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr,
                                              CLSID_AdxDecoderFilter));

    EXPECT_EQ(S_OK, module.CallRegistrationExport("DllUnregisterServer"));
    EXPECT_FALSE(ClassKeyExists(CLSID_AdxParserFilter));
    EXPECT_EQ(0u, LegacyCategoryClasses().count(GuidText(CLSID_AdxParserFilter)));
    // And once more, with nothing left at all.
    EXPECT_EQ(S_OK, module.CallRegistrationExport("DllUnregisterServer"));
}

} // namespace
