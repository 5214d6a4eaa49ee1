// MediaTypeEnumerator and PinEnumerator over counting fake pins and filters.
#include "CountingFakes.h"

#include "framework/com/ComPtr.h"
#include "framework/media/MediaTypeEnumerator.h"
#include "framework/media/PinEnumerator.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <climits>

namespace {

class MediaTypeEnumeratorTest : public testing::Test {
protected:
    void SetUp() override {
        pin_.subtypes = {MEDIASUBTYPE_PCM, MEDIASUBTYPE_MPEG1Audio};
        pin_.attached = &attached_;
        ASSERT_EQ(MediaTypeEnumerator::Create(&pin_, &pin_, enumerator_.put()), S_OK);
    }
    void TearDown() override {
        enumerator_.reset();
        EXPECT_EQ(pin_.references, 0) << "the enumerator's pin reference leaked";
        EXPECT_EQ(attached_.references, 0) << "a type's pUnk leaked";
    }

    // Next(count) into a fresh array; frees what came back and returns the
    // result with the fetched count and the subtypes seen.
    HRESULT NextAndFree(IEnumMediaTypes* from, ULONG count, ULONG* fetched,
                        std::vector<GUID>* subtypes = nullptr) {
        AM_MEDIA_TYPE* types[8] = {};
        const HRESULT result = from->Next(count, types, fetched);
        for (AM_MEDIA_TYPE* type : types) {
            if (type != nullptr && subtypes != nullptr) {
                subtypes->push_back(type->subtype);
            }
            FreeTaskMediaType(type);
        }
        return result;
    }

    FakePin pin_;
    FakePin attached_; // the pUnk every proposed type carries
    ComPtr<IEnumMediaTypes> enumerator_;
};

TEST_F(MediaTypeEnumeratorTest, NextGivesWhatThereIsAndFetchedSaysHowMany) {
    EXPECT_EQ(pin_.references, 1);
    ULONG fetched = 99;
    std::vector<GUID> subtypes;
    EXPECT_EQ(NextAndFree(enumerator_.get(), 5, &fetched, &subtypes), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    ASSERT_EQ(subtypes.size(), 2u);
    EXPECT_TRUE(IsEqualGUID(subtypes[0], MEDIASUBTYPE_PCM));
    EXPECT_TRUE(IsEqualGUID(subtypes[1], MEDIASUBTYPE_MPEG1Audio));

    fetched = 99;
    EXPECT_EQ(NextAndFree(enumerator_.get(), 1, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
}

TEST_F(MediaTypeEnumeratorTest, ArgumentChecks) {
    struct Case {
        ULONG count;
        bool withArray, withFetched;
        HRESULT expected;
    };
    const Case cases[] = {
        {1, false, true, E_POINTER},
        {2, true, false, E_INVALIDARG},
        {0, true, false, S_OK},
        {1, true, false, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "count " << c.count << " array " << c.withArray
                                        << " fetched " << c.withFetched);
        ASSERT_EQ(enumerator_->Reset(), S_OK);
        AM_MEDIA_TYPE* types[4] = {};
        ULONG fetched = 0;
        EXPECT_EQ(enumerator_->Next(c.count, c.withArray ? types : nullptr,
                                    c.withFetched ? &fetched : nullptr),
                  c.expected);
        for (AM_MEDIA_TYPE* type : types) {
            FreeTaskMediaType(type);
        }
    }
    EXPECT_EQ(enumerator_->Clone(nullptr), E_POINTER);
    EXPECT_EQ(enumerator_->QueryInterface(IID_IEnumMediaTypes, nullptr), E_POINTER);
    void* other = &other;
    EXPECT_EQ(enumerator_->QueryInterface(IID_IEnumPins, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    ASSERT_EQ(enumerator_->QueryInterface(IID_IUnknown, &other), S_OK);
    EXPECT_EQ(other, enumerator_.get());
    EXPECT_EQ(enumerator_->Release(), 1u);
}

TEST_F(MediaTypeEnumeratorTest, SkipMovesOnEvenPastTheEnd) {
    struct Case {
        ULONG count;
        HRESULT skip;
        ULONG fetchedAfter;
    };
    const Case cases[] = {
        {0, S_OK, 2}, {1, S_OK, 1}, {2, S_OK, 0}, {3, S_FALSE, 0}, {ULONG_MAX, S_FALSE, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Skip(" << c.count << ")");
        ASSERT_EQ(enumerator_->Reset(), S_OK);
        EXPECT_EQ(enumerator_->Skip(c.count), c.skip);
        ULONG fetched = 99;
        NextAndFree(enumerator_.get(), 5, &fetched);
        EXPECT_EQ(fetched, c.fetchedAfter);
    }
}

TEST_F(MediaTypeEnumeratorTest, AChangedTypeListIsOutOfSyncUntilReset) {
    pin_.typeListVersion = 2;
    ULONG fetched = 99;
    EXPECT_EQ(NextAndFree(enumerator_.get(), 1, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(enumerator_->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(enumerator_->Skip(0), S_OK);
    IEnumMediaTypes* clone = reinterpret_cast<IEnumMediaTypes*>(&clone);
    EXPECT_EQ(enumerator_->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(clone, nullptr);

    EXPECT_EQ(enumerator_->Reset(), S_OK);
    EXPECT_EQ(NextAndFree(enumerator_.get(), 1, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
}

TEST_F(MediaTypeEnumeratorTest, CloneContinuesFromTheSamePositionOnItsOwn) {
    ULONG fetched = 0;
    EXPECT_EQ(NextAndFree(enumerator_.get(), 1, &fetched), S_OK);
    ComPtr<IEnumMediaTypes> clone;
    ASSERT_EQ(enumerator_->Clone(clone.put()), S_OK);
    EXPECT_EQ(pin_.references, 2) << "the clone holds its own pin reference";

    std::vector<GUID> subtypes;
    EXPECT_EQ(NextAndFree(clone.get(), 1, &fetched, &subtypes), S_OK);
    ASSERT_EQ(subtypes.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(subtypes[0], MEDIASUBTYPE_MPEG1Audio));
    EXPECT_EQ(NextAndFree(enumerator_.get(), 1, &fetched), S_OK) << "the original did not move";
    clone.reset();
    EXPECT_EQ(pin_.references, 1);
}

class PinEnumeratorTest : public testing::Test {
protected:
    void SetUp() override {
        filter_.pins = {&pins_[0], &pins_[1]};
        ASSERT_EQ(PinEnumerator::Create(&filter_, &filter_, enumerator_.put()), S_OK);
    }
    void TearDown() override {
        enumerator_.reset();
        EXPECT_EQ(filter_.references, 0) << "an enumerator's filter reference leaked";
        for (const FakePin& pin : pins_) {
            EXPECT_EQ(pin.references, 0) << "a handed-out pin reference leaked";
        }
    }

    // Next(count); releases the pins and returns their indices in `pins`.
    HRESULT NextPins(IEnumPins* from, ULONG count, ULONG* fetched, std::vector<int>* seen) {
        IPin* out[8] = {};
        const HRESULT result = from->Next(count, out, fetched);
        for (IPin* pin : out) {
            if (pin == nullptr) {
                continue;
            }
            if (seen != nullptr) {
                seen->push_back(static_cast<int>(static_cast<FakePin*>(pin) - pins_));
            }
            pin->Release();
        }
        return result;
    }

    FakePin pins_[4];
    FakeFilter filter_;
    ComPtr<IEnumPins> enumerator_;
};

TEST_F(PinEnumeratorTest, AfterAPinIsAddedNextReturnsOnlyTheNewPin) {
    std::vector<int> seen;
    ULONG fetched = 0;
    EXPECT_EQ(NextPins(enumerator_.get(), 1, &fetched, &seen), S_OK);
    filter_.AddPin(&pins_[2]);
    EXPECT_EQ(NextPins(enumerator_.get(), 1, &fetched, &seen), S_OK);
    EXPECT_EQ(NextPins(enumerator_.get(), 1, &fetched, &seen), S_OK);
    EXPECT_EQ(NextPins(enumerator_.get(), 1, &fetched, &seen), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}))
        << "pin 0 is not handed out again after the resynchronisation";
    EXPECT_EQ(enumerator_->Skip(1), S_FALSE) << "Next resynchronised the enumerator";

    // Reset forgets what was handed out.
    EXPECT_EQ(enumerator_->Reset(), S_OK);
    seen.clear();
    EXPECT_EQ(NextPins(enumerator_.get(), 5, &fetched, &seen), S_FALSE);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
}

TEST_F(PinEnumeratorTest, NextResultsAndFetched) {
    struct Case {
        ULONG count;
        bool withFetched;
        HRESULT expected;
        ULONG fetched;
    };
    const Case cases[] = {
        {1, true, S_OK, 1},          {2, true, S_OK, 2},     {5, true, S_FALSE, 2},
        {2, false, E_INVALIDARG, 0}, {0, false, S_FALSE, 0}, {1, false, S_OK, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Next(" << c.count << ") fetched " << c.withFetched);
        ASSERT_EQ(enumerator_->Reset(), S_OK);
        ULONG fetched = 99;
        EXPECT_EQ(NextPins(enumerator_.get(), c.count, c.withFetched ? &fetched : nullptr, nullptr),
                  c.expected);
        if (c.withFetched) {
            EXPECT_EQ(fetched, c.fetched);
        }
    }
    EXPECT_EQ(enumerator_->Next(1, nullptr, nullptr), E_POINTER);
}

TEST_F(PinEnumeratorTest, SkipAndVersionChanges) {
    EXPECT_EQ(enumerator_->Skip(3), S_FALSE);
    EXPECT_EQ(enumerator_->Skip(1), S_OK);
    EXPECT_EQ(enumerator_->Skip(2), S_FALSE) << "position stays";
    std::vector<int> seen;
    ULONG fetched = 0;
    EXPECT_EQ(NextPins(enumerator_.get(), 1, &fetched, &seen), S_OK);
    EXPECT_EQ(seen, (std::vector<int>{1}));

    filter_.AddPin(&pins_[2]);
    EXPECT_EQ(enumerator_->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    IEnumPins* clone = reinterpret_cast<IEnumPins*>(&clone);
    EXPECT_EQ(enumerator_->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(clone, nullptr);

    // The skipped pin 0 was never handed out, so it comes now.
    seen.clear();
    EXPECT_EQ(NextPins(enumerator_.get(), 5, &fetched, &seen), S_FALSE);
    EXPECT_EQ(seen, (std::vector<int>{0, 2}));
}

TEST_F(PinEnumeratorTest, CloneCarriesPositionAndHandedOutPins) {
    std::vector<int> seen;
    ULONG fetched = 0;
    EXPECT_EQ(NextPins(enumerator_.get(), 1, &fetched, &seen), S_OK);
    ComPtr<IEnumPins> clone;
    ASSERT_EQ(enumerator_->Clone(clone.put()), S_OK);
    EXPECT_EQ(filter_.references, 2);

    filter_.AddPin(&pins_[2]);
    seen.clear();
    EXPECT_EQ(NextPins(clone.get(), 5, &fetched, &seen), S_FALSE);
    EXPECT_EQ(seen, (std::vector<int>{1, 2})) << "the clone knows pin 0 was handed out";
    EXPECT_EQ(clone->Clone(nullptr), E_POINTER);
    void* other = &other;
    EXPECT_EQ(clone->QueryInterface(IID_IEnumMediaTypes, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

TEST_F(PinEnumeratorTest, AMissingPinIsOutOfSync) {
    filter_.AddPin(nullptr);
    filter_.AddPin(&pins_[3]);
    ULONG fetched = 99;
    std::vector<int> seen;
    EXPECT_EQ(NextPins(enumerator_.get(), 4, &fetched, &seen), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(fetched, 2u) << "fetched says which pins the caller now holds";
    EXPECT_EQ(seen, (std::vector<int>{0, 1}));
}

} // namespace
