#include "TestObject.h"

#include "framework/com/ModuleHandle.h"

#include <new>
#include <string>

HINSTANCE ModuleHandle = GetModuleHandleW(nullptr);

const CLSID CLSID_TestObject = {
    0x5a0b3c11, 0x7e2d, 0x4f60, {0x9c, 0x1b, 0x2d, 0x6e, 0x8f, 0x0a, 0x1b, 0x01}};
const CLSID CLSID_TestLongName = {
    0x5a0b3c11, 0x7e2d, 0x4f60, {0x9c, 0x1b, 0x2d, 0x6e, 0x8f, 0x0a, 0x1b, 0x02}};
const CLSID CLSID_TestRefusingConstructor = {
    0x5a0b3c11, 0x7e2d, 0x4f60, {0x9c, 0x1b, 0x2d, 0x6e, 0x8f, 0x0a, 0x1b, 0x03}};
const CLSID CLSID_TestNoMemory = {
    0x5a0b3c11, 0x7e2d, 0x4f60, {0x9c, 0x1b, 0x2d, 0x6e, 0x8f, 0x0a, 0x1b, 0x04}};
const CLSID CLSID_TestNullWithCode = {
    0x5a0b3c11, 0x7e2d, 0x4f60, {0x9c, 0x1b, 0x2d, 0x6e, 0x8f, 0x0a, 0x1b, 0x05}};
const CLSID CLSID_TestNotInTable = {
    0x5a0b3c11, 0x7e2d, 0x4f60, {0x9c, 0x1b, 0x2d, 0x6e, 0x8f, 0x0a, 0x1b, 0xff}};

std::atomic<int> TestObject::liveInstances{0};

namespace {

const std::wstring kLongDisplayNameText = std::wstring(250, L'x') + std::wstring(50, L'y');

UnknownBase* CreateTestObject(IUnknown* outer, HRESULT* result) {
    auto* object = new (std::nothrow) TestObject(outer);
    if (object == nullptr) {
        *result = E_OUTOFMEMORY;
    }
    return object;
}

// A constructor that reports failure but still hands back its object.
UnknownBase* CreateRefusingObject(IUnknown* outer, HRESULT* result) {
    auto* object = new (std::nothrow) TestObject(outer);
    *result = E_ACCESSDENIED;
    return object;
}

UnknownBase* CreateNothing(IUnknown*, HRESULT*) {
    return nullptr;
}

UnknownBase* CreateNothingWithCode(IUnknown*, HRESULT* result) {
    *result = E_ABORT;
    return nullptr;
}

} // namespace

const WCHAR* const kLongDisplayName = kLongDisplayNameText.c_str();

const FactoryTemplate FactoryTable[] = {
    {L"Corvina Test Object", &CLSID_TestObject, CreateTestObject},
    {kLongDisplayNameText.c_str(), &CLSID_TestLongName, CreateTestObject},
    {L"Corvina Test Refusing", &CLSID_TestRefusingConstructor, CreateRefusingObject},
    {L"Corvina Test No Memory", &CLSID_TestNoMemory, CreateNothing},
    {L"Corvina Test Null With Code", &CLSID_TestNullWithCode, CreateNothingWithCode},
};
const int FactoryTableRowCount = sizeof(FactoryTable) / sizeof(FactoryTable[0]);
