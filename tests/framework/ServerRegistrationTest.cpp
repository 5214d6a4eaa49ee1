// Server keys written to and removed from the test prefix's own registry.
#include "TestObject.h"

#include "framework/com/ModuleHandle.h"
#include "framework/setup/ServerRegistration.h"

#include "tests/support/BoundedWait.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>
#include <objbase.h>

#include <string>

namespace {

std::wstring ClassKeyName(REFCLSID classId) {
    WCHAR text[39];
    StringFromGUID2(classId, text, 39);
    return std::wstring(L"CLSID\\") + text;
}

bool KeyExists(HKEY root, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The string value `valueName` (null: the default value) of root\name, or
// "<missing>".
std::wstring ReadString(HKEY root, const std::wstring& name, const WCHAR* valueName) {
    WCHAR text[1024];
    DWORD bytes = sizeof(text);
    if (RegGetValueW(root, name.c_str(), valueName, RRF_RT_REG_SZ, nullptr, text, &bytes) !=
        ERROR_SUCCESS) {
        return L"<missing>";
    }
    return text;
}

std::wstring ModulePath() {
    WCHAR path[MAX_PATH];
    GetModuleFileNameW(ModuleHandle, path, MAX_PATH);
    return path;
}

void ExpectServerKeys(REFCLSID classId, const std::wstring& displayName, const std::wstring& path) {
    const std::wstring key = ClassKeyName(classId);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key, nullptr), displayName);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr), path);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel"), L"Both");
}

void ExpectNoClassKeys() {
    for (int row = 0; row < FactoryTableRowCount; ++row) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKeyName(*FactoryTable[row].classId)))
            << "row " << row;
    }
}

TEST(ServerRegistration, WritesEveryRowAndRemovesThemAgain) {
    const std::wstring path = L"C:\\some where\\corvina.ax";
    ASSERT_EQ(UpdateAllServerKeys(path.c_str(), true), S_OK);
    ExpectServerKeys(CLSID_TestObject, L"Corvina Test Object", path);
    ExpectServerKeys(CLSID_TestNullWithCode, L"Corvina Test Null With Code", path);
    // Registry texts are held in 260 characters: the name is cut at 259.
    ExpectServerKeys(CLSID_TestLongName, std::wstring(kLongDisplayName).substr(0, 259), path);

    // Writing again rewrites the same keys.
    ASSERT_EQ(UpdateAllServerKeys(L"D:\\elsewhere.ax", true), S_OK);
    ExpectServerKeys(CLSID_TestObject, L"Corvina Test Object", L"D:\\elsewhere.ax");

    EXPECT_EQ(UpdateAllServerKeys(path.c_str(), false), S_OK);
    ExpectNoClassKeys();
    EXPECT_EQ(UpdateAllServerKeys(path.c_str(), false), S_OK) << "missing keys count as removed";
}

TEST(ServerRegistration, ModuleRegistrationRoundTrip) {
    ASSERT_EQ(UpdateModuleRegistration(true), S_OK);
    ExpectServerKeys(CLSID_TestObject, L"Corvina Test Object", ModulePath());
    ASSERT_EQ(UpdateModuleRegistration(false), S_OK);
    ExpectNoClassKeys();
}

TEST(ServerRegistration, ModuleRegistrationLeavesTheCallersApartmentAlone) {
    // A caller in the multithreaded apartment: the routine's own
    // CoInitialize is refused and must not be undone.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(UpdateModuleRegistration(true), S_OK);
    EXPECT_EQ(UpdateModuleRegistration(false), S_OK);
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    ASSERT_EQ(CoGetApartmentType(&type, &qualifier), S_OK);
    EXPECT_EQ(type, APTTYPE_MTA);
    CoUninitialize();
    ExpectNoClassKeys();
}

// "\Registry\User\<sid>": HKEY_CURRENT_USER as a link target names it.
std::wstring UserKeyPath() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE buffer[256];
    DWORD bytes = 0;
    GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &bytes);
    CloseHandle(token);
    LPWSTR sid = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid);
    std::wstring path = std::wstring(L"\\Registry\\User\\") + sid;
    LocalFree(sid);
    return path;
}

class DeleteKeyTreeTest : public testing::Test {
protected:
    static constexpr const WCHAR* kRoot = L"Software\\CorvinaFrameworkTest";
    void SetUp() override { RemoveAll(); }
    void TearDown() override { RemoveAll(); }

    // Removes the test area; a link key is removed itself, not its target.
    static void RemoveAll() {
        HKEY link = nullptr;
        const std::wstring linkName = std::wstring(kRoot) + L"\\tree\\link";
        if (RegOpenKeyExW(HKEY_CURRENT_USER, linkName.c_str(), REG_OPTION_OPEN_LINK, DELETE,
                          &link) == ERROR_SUCCESS) {
            using NtDeleteKeyFunction = LONG(WINAPI*)(HANDLE);
            auto ntDeleteKey = reinterpret_cast<NtDeleteKeyFunction>(reinterpret_cast<void*>(
                GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
            ntDeleteKey(link);
            RegCloseKey(link);
        }
        // Give a denied key back to its owner first.
        SECURITY_DESCRIPTOR allowAll;
        InitializeSecurityDescriptor(&allowAll, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&allowAll, TRUE, nullptr, FALSE);
        HKEY stuck = nullptr;
        const std::wstring stuckName = std::wstring(kRoot) + L"\\tree\\stuck";
        if (RegOpenKeyExW(HKEY_CURRENT_USER, stuckName.c_str(), 0, WRITE_DAC, &stuck) ==
            ERROR_SUCCESS) {
            RegSetKeySecurity(stuck, DACL_SECURITY_INFORMATION, &allowAll);
            RegCloseKey(stuck);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    }

    static void Create(const std::wstring& name) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, (std::wstring(kRoot) + name).c_str(), &key),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
};

TEST_F(DeleteKeyTreeTest, RemovesANestedTree) {
    for (const WCHAR* name :
         {L"\\tree\\a\\a1", L"\\tree\\a\\a2\\deep", L"\\tree\\b", L"\\tree\\c"}) {
        Create(name);
    }
    Create(L"\\sibling");
    const std::wstring tree = std::wstring(kRoot) + L"\\tree";
    EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, tree.c_str()), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::wstring(kRoot) + L"\\sibling"));

    EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, tree.c_str()), S_OK) << "missing key";
    EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, L""), E_FAIL);
}

TEST_F(DeleteKeyTreeTest, AChildThatCannotBeRemovedEndsTheWalk) {
    Create(L"\\tree\\stuck");
    Create(L"\\tree\\stuck\\inner");
    const std::wstring tree = std::wstring(kRoot) + L"\\tree";
    const std::wstring stuck = tree + L"\\stuck";

    // Deny everyone every right on the child, so that it can be neither
    // opened nor removed.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, stuck.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
    SECURITY_DESCRIPTOR denyAll;
    InitializeSecurityDescriptor(&denyAll, SECURITY_DESCRIPTOR_REVISION);
    ACL emptyAcl;
    InitializeAcl(&emptyAcl, sizeof(emptyAcl), ACL_REVISION);
    SetSecurityDescriptorDacl(&denyAll, TRUE, &emptyAcl, FALSE);
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &denyAll), ERROR_SUCCESS);
    RegCloseKey(key);
    HRESULT result = S_OK;
    bounded::Within("DeleteKeyTree over a child that stays",
                    [&] { result = DeleteKeyTree(HKEY_CURRENT_USER, tree.c_str()); });
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, tree));
}

// A child that is a registry link: removing it removes the key it points at,
// and the dangling link then stays where the walk keeps finding it.
TEST_F(DeleteKeyTreeTest, AChildThatStaysAfterItsRemovalEndsTheWalk) {
    const std::wstring tree = std::wstring(kRoot) + L"\\tree";
    Create(L"\\target\\child");
    Create(L"\\tree");
    HKEY link = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (tree + L"\\link").c_str(), 0, nullptr,
                              REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &link, nullptr),
              ERROR_SUCCESS);
    const std::wstring target = UserKeyPath() + L"\\" + kRoot + L"\\target";
    ASSERT_EQ(RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                             reinterpret_cast<const BYTE*>(target.c_str()),
                             static_cast<DWORD>(target.size() * sizeof(WCHAR))),
              ERROR_SUCCESS);
    RegCloseKey(link);
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, tree + L"\\link\\child")) << "the link resolves";

    HRESULT result = S_OK;
    bounded::Within("DeleteKeyTree over a child that stays",
                    [&] { result = DeleteKeyTree(HKEY_CURRENT_USER, tree.c_str()); });
    EXPECT_EQ(result, E_FAIL);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, tree));
}

} // namespace
