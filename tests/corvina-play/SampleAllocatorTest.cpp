// corvina-play's SampleAllocator through IMemAllocator and IMediaSample, as
// the module's pins use it, with threads waiting for buffers under bounded
// waits.
#include "graph/SampleAllocator.h"

#include "framework/com/ComPtr.h"
#include "tests/support/BoundedWait.h"

#include <vfwmsgs.h>

#include <gtest/gtest.h>

namespace {

ComPtr<IMemAllocator> MakeAllocator(long count, long bytes, long align = 1, long prefix = 0) {
    ComPtr<IMemAllocator> allocator;
    EXPECT_HRESULT_SUCCEEDED(SampleAllocator::Create(allocator.put()));
    ALLOCATOR_PROPERTIES request = {count, bytes, align, prefix};
    ALLOCATOR_PROPERTIES granted = {};
    EXPECT_HRESULT_SUCCEEDED(allocator->SetProperties(&request, &granted));
    return allocator;
}

struct PropertiesCase {
    const char* name;
    ALLOCATOR_PROPERTIES request;
    HRESULT expected;
    long grantedCount;
};

TEST(SampleAllocatorTest, SetPropertiesGrantsOrRefuses) {
    const PropertiesCase cases[] = {
        {"plain", {4, 65536, 1, 0}, S_OK, 4},
        {"no count means one", {0, 100, 1, 0}, S_OK, 1},
        {"aligned with a prefix", {2, 100, 16, 8}, S_OK, 2},
        {"no alignment", {2, 100, 0, 0}, VFW_E_BADALIGN, 0},
        {"alignment not a power of two", {2, 100, 12, 0}, VFW_E_BADALIGN, 0},
        {"negative size", {2, -1, 1, 0}, E_INVALIDARG, 0},
    };
    for (const PropertiesCase& test : cases) {
        SCOPED_TRACE(test.name);
        ComPtr<IMemAllocator> allocator;
        ASSERT_HRESULT_SUCCEEDED(SampleAllocator::Create(allocator.put()));
        ALLOCATOR_PROPERTIES request = test.request;
        ALLOCATOR_PROPERTIES granted = {};
        EXPECT_EQ(allocator->SetProperties(&request, &granted), test.expected);
        if (test.expected == S_OK) {
            EXPECT_EQ(granted.cBuffers, test.grantedCount);
            EXPECT_EQ(granted.cbBuffer, request.cbBuffer);
        }
    }
}

TEST(SampleAllocatorTest, BuffersAreAlignedAndOfTheGrantedSize) {
    ComPtr<IMemAllocator> allocator = MakeAllocator(3, 1000, 64, 24);
    ASSERT_HRESULT_SUCCEEDED(allocator->Commit());
    ComPtr<IMediaSample> samples[3];
    for (ComPtr<IMediaSample>& sample : samples) {
        ASSERT_HRESULT_SUCCEEDED(allocator->GetBuffer(sample.put(), nullptr, nullptr, 0));
        BYTE* data = nullptr;
        ASSERT_HRESULT_SUCCEEDED(sample->GetPointer(&data));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 64, 0u);
        EXPECT_EQ(sample->GetSize(), 1000);
        EXPECT_EQ(sample->GetActualDataLength(), 0);
        EXPECT_EQ(sample->SetActualDataLength(1001), VFW_E_BUFFER_OVERFLOW);
    }
    ALLOCATOR_PROPERTIES request = {1, 10, 1, 0};
    ALLOCATOR_PROPERTIES granted = {};
    EXPECT_EQ(allocator->SetProperties(&request, &granted), VFW_E_ALREADY_COMMITTED);
    ASSERT_HRESULT_SUCCEEDED(allocator->Decommit());
    EXPECT_EQ(allocator->SetProperties(&request, &granted), VFW_E_BUFFERS_OUTSTANDING);
}

TEST(SampleAllocatorTest, ReleasedSampleComesBackCleared) {
    ComPtr<IMemAllocator> allocator = MakeAllocator(1, 64);
    ASSERT_HRESULT_SUCCEEDED(allocator->Commit());
    ComPtr<IMediaSample> sample;
    ASSERT_HRESULT_SUCCEEDED(allocator->GetBuffer(sample.put(), nullptr, nullptr, 0));
    REFERENCE_TIME start = 10;
    REFERENCE_TIME stop = 20;
    ASSERT_HRESULT_SUCCEEDED(sample->SetTime(&start, &stop));
    ASSERT_HRESULT_SUCCEEDED(sample->SetMediaTime(&start, &stop));
    ASSERT_HRESULT_SUCCEEDED(sample->SetDiscontinuity(TRUE));
    ASSERT_HRESULT_SUCCEEDED(sample->SetActualDataLength(5));
    EXPECT_EQ(allocator->GetBuffer(ComPtr<IMediaSample>().put(), nullptr, nullptr, AM_GBF_NOWAIT),
              VFW_E_TIMEOUT);
    sample.reset();

    ASSERT_HRESULT_SUCCEEDED(allocator->GetBuffer(sample.put(), nullptr, nullptr, 0));
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(sample->GetMediaTime(&start, &stop), VFW_E_MEDIA_TIME_NOT_SET);
    EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(sample->GetActualDataLength(), 0);
}

TEST(SampleAllocatorTest, GetBufferWaitsForAReleaseAndEndsAtDecommit) {
    ComPtr<IMemAllocator> allocator = MakeAllocator(1, 64);
    EXPECT_EQ(allocator->GetBuffer(ComPtr<IMediaSample>().put(), nullptr, nullptr, 0),
              VFW_E_NOT_COMMITTED);
    ASSERT_HRESULT_SUCCEEDED(allocator->Commit());
    ComPtr<IMediaSample> held;
    ASSERT_HRESULT_SUCCEEDED(allocator->GetBuffer(held.put(), nullptr, nullptr, 0));

    // A waiter gets the buffer once it is released...
    HRESULT waited = E_FAIL;
    {
        IMemAllocator* shared = allocator.get();
        bounded::Call waiter([shared, &waited] {
            ComPtr<IMediaSample> sample;
            waited = shared->GetBuffer(sample.put(), nullptr, nullptr, 0);
        });
        EXPECT_FALSE(waiter.FinishedWithin(100)); // no buffer yet
        held.reset();
        waiter.Join("GetBuffer after a release");
    }
    EXPECT_EQ(waited, S_OK);

    // ...and gives up when the allocator is decommitted.
    ASSERT_HRESULT_SUCCEEDED(allocator->GetBuffer(held.put(), nullptr, nullptr, 0));
    {
        IMemAllocator* shared = allocator.get();
        bounded::Call waiter([shared, &waited] {
            ComPtr<IMediaSample> sample;
            waited = shared->GetBuffer(sample.put(), nullptr, nullptr, 0);
        });
        EXPECT_FALSE(waiter.FinishedWithin(100));
        ASSERT_HRESULT_SUCCEEDED(allocator->Decommit());
        waiter.Join("GetBuffer after Decommit");
    }
    EXPECT_EQ(waited, VFW_E_NOT_COMMITTED);
}

TEST(SampleAllocatorTest, ReferenceCountsAreTheDocumentedOnes) {
    ComPtr<IMemAllocator> allocator = MakeAllocator(2, 64);
    ASSERT_HRESULT_SUCCEEDED(allocator->Commit());
    EXPECT_EQ(allocator->AddRef(), 2u); // born with the creator's one
    EXPECT_EQ(allocator->Release(), 1u);
    ComPtr<IMediaSample> sample;
    ASSERT_HRESULT_SUCCEEDED(allocator->GetBuffer(sample.put(), nullptr, nullptr, 0));
    EXPECT_EQ(allocator->AddRef(), 3u); // one for the sample that is out
    EXPECT_EQ(allocator->Release(), 2u);
    ComPtr<IUnknown> unknown;
    ASSERT_HRESULT_SUCCEEDED(allocator->QueryInterface(IID_IUnknown, unknown.put_void()));
    EXPECT_EQ(static_cast<IUnknown*>(allocator.get()), unknown.get());
    unknown.reset();
    sample.reset(); // back: its reference goes
    EXPECT_EQ(allocator->AddRef(), 2u);
    EXPECT_EQ(allocator->Release(), 1u);
}

TEST(SampleAllocatorTest, SampleOutKeepsTheAllocator) {
    ComPtr<IMemAllocator> allocator = MakeAllocator(1, 64);
    ASSERT_HRESULT_SUCCEEDED(allocator->Commit());
    ComPtr<IMediaSample> sample;
    ASSERT_HRESULT_SUCCEEDED(allocator->GetBuffer(sample.put(), nullptr, nullptr, 0));
    allocator.reset(); // the sample's buffer must stay usable
    BYTE* data = nullptr;
    ASSERT_HRESULT_SUCCEEDED(sample->GetPointer(&data));
    data[63] = 0x5A;
    sample.reset(); // the last reference: the allocator goes with it
}

} // namespace
