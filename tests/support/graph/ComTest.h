// The fixture every graph test derives from: a multithreaded apartment of
// its own for each test.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

namespace testgraph {

class ComTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    }
    void TearDown() override { CoUninitialize(); }
};

} // namespace testgraph
