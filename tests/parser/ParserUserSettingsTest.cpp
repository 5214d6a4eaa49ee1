// The user's "loop by default" setting (HKEY_CURRENT_USER\Software\corvina,
// DWORD LoopByDefault): a stream that connects starts looping at record 0
// with it, and not without it.
#include "ParserFixtures.h"

#include <windows.h>

#include <string>

namespace parsertest {
namespace {

// This process's HKEY_CURRENT_USER, moved to a scratch key for the test's
// life: the parser reads the real path through it, while test programs
// running beside this one in the same prefix keep seeing the user's own.
class ScratchUserHive {
public:
    ScratchUserHive() {
        scratchPath_ = L"Software\\corvina-tests\\user-" + std::to_wstring(GetCurrentProcessId());
        created_ = RegCreateKeyExW(HKEY_CURRENT_USER, scratchPath_.c_str(), 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, &scratch_, nullptr) == ERROR_SUCCESS &&
                   RegOverridePredefKey(HKEY_CURRENT_USER, scratch_) == ERROR_SUCCESS;
    }
    ~ScratchUserHive() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (scratch_ != nullptr) {
            RegCloseKey(scratch_);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, scratchPath_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\corvina-tests");
    }
    ScratchUserHive(const ScratchUserHive&) = delete;
    ScratchUserHive& operator=(const ScratchUserHive&) = delete;

    bool Created() const { return created_; }

private:
    std::wstring scratchPath_;
    HKEY scratch_ = nullptr;
    bool created_ = false;
};

class UserSettingsTest : public ComTest {};

TEST_F(UserSettingsTest, LoopByDefaultStartsAConnectedStreamLooping) {
    struct Case {
        const char* name;
        DWORD type; // REG_NONE: no value
        DWORD value;
        bool withLoops;
        INT32 expectedEnabled;
    };
    const Case cases[] = {
        {"absent", REG_NONE, 0, true, 0},
        {"0", REG_DWORD, 0, true, 0},
        {"1", REG_DWORD, 1, true, 1},
        {"2", REG_DWORD, 2, true, 0},
        {"1 as a string", REG_SZ, 0, true, 0},
        {"1, a stream without loops", REG_DWORD, 1, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchUserHive hive;
        ASSERT_TRUE(hive.Created());
        if (c.type == REG_DWORD) {
            ASSERT_EQ(ERROR_SUCCESS,
                      RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\corvina", L"LoopByDefault",
                                      REG_DWORD, &c.value, sizeof(c.value)));
        } else if (c.type == REG_SZ) {
            const wchar_t text[] = L"1";
            ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\corvina",
                                                     L"LoopByDefault", REG_SZ, text, sizeof(text)));
        }
        StreamParams params;
        if (c.withLoops) {
            params.loops = {AdxEncoder::MakeLoopPoint(1000, 4000, 0x40, 2),
                            AdxEncoder::MakeLoopPoint(2000, 9000, 0x40, 2)};
        }
        TempFile fixture(EncodeStream(params).bytes);
        GraphFixture graph;
        ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
        ASSERT_HRESULT_SUCCEEDED(graph.ConnectInput());
        INT32 index = -1;
        INT32 enabled = -1;
        ASSERT_EQ(S_OK, graph.parserControl->GetLoop(&index, &enabled));
        EXPECT_EQ(0, index);
        EXPECT_EQ(c.expectedEnabled, enabled);
    }
}

} // namespace
} // namespace parsertest
