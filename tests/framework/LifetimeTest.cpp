// Object lifetime, aggregation and the class factory, against the test
// table in TestObject.cpp.
#include "CountingFake.h"
#include "CountingFakes.h"
#include "TestObject.h"

#include "framework/com/ClassFactory.h"
#include "framework/com/ComPtr.h"
#include "framework/com/CountedObject.h"
#include "framework/media/MediaTypeEnumerator.h"
#include "framework/media/PinEnumerator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// An aggregating outer object that counts its own references; it holds the
// inner object by the inner's non-delegating IUnknown and hands out the
// inner's IPersist as its own.
class Outer : public CountingFake<IUnknown> {
public:
    Outer() : CountingFake<IUnknown>(1) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IPersist) && inner != nullptr) {
            return inner->QueryInterface(iid, out);
        }
        return CountingFake::QueryInterface(iid, out);
    }

    IUnknown* inner = nullptr;
};

ComPtr<IClassFactory> FactoryFor(REFCLSID classId) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(FrameworkGetClassObject(classId, IID_IClassFactory, factory.put_void()), S_OK);
    return factory;
}

class LifetimeTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LiveObjectCount, 0);
        ASSERT_EQ(ServerLockCount, 0);
    }
    void TearDown() override {
        EXPECT_EQ(LiveObjectCount, 0) << "a framework object leaked";
        EXPECT_EQ(TestObject::liveInstances, 0);
        ServerLockCount = 0;
    }
};

TEST_F(LifetimeTest, InnerCountsStartAtOneAndTheLastReleaseDestroys) {
    auto* object = new TestObject(nullptr);
    EXPECT_EQ(LiveObjectCount, 1);
    EXPECT_EQ(object->Owner(), object->NonDelegatingUnknown());
    EXPECT_EQ(object->InnerAddRef(), 1u);
    EXPECT_EQ(object->InnerAddRef(), 2u);
    EXPECT_EQ(object->InnerRelease(), 1u);
    EXPECT_EQ(object->InnerRelease(), 0u);
    EXPECT_EQ(LiveObjectCount, 0);
}

TEST_F(LifetimeTest, NonDelegatingUnknownIsCallableAsIUnknown) {
    auto* object = new TestObject(nullptr);
    IUnknown* unknown = object->NonDelegatingUnknown();
    EXPECT_EQ(unknown->AddRef(), 1u);

    IPersist* persist = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(persist->AddRef(), 3u) << "the face's AddRef reaches the same count";
    EXPECT_EQ(persist->Release(), 2u);

    IUnknown* again = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, unknown) << "one identity";
    IStream* none = reinterpret_cast<IStream*>(&none);
    EXPECT_EQ(unknown->QueryInterface(IID_IStream, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(unknown->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(HandOutInterface(persist, nullptr), E_POINTER);

    again->Release();
    persist->Release();
    EXPECT_EQ(unknown->Release(), 0u);
}

TEST_F(LifetimeTest, GetClassObjectResults) {
    IUnknown* untouched = reinterpret_cast<IUnknown*>(&untouched);
    void* out = untouched;

    // The interface is checked before the class.
    EXPECT_EQ(FrameworkGetClassObject(CLSID_TestNotInTable, IID_IPersist, &out), E_NOINTERFACE);
    EXPECT_EQ(out, untouched);
    EXPECT_EQ(FrameworkGetClassObject(CLSID_TestNotInTable, IID_IClassFactory, &out),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, untouched);
    EXPECT_EQ(FrameworkGetClassObject(CLSID_TestObject, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(LiveObjectCount, 0);

    ASSERT_EQ(FrameworkGetClassObject(CLSID_TestObject, IID_IUnknown, &out), S_OK);
    auto* factory = static_cast<IClassFactory*>(out);
    EXPECT_EQ(LiveObjectCount, 1);
    EXPECT_EQ(factory->AddRef(), 2u) << "handed out with exactly one reference";
    EXPECT_EQ(factory->Release(), 1u);

    void* face = untouched;
    EXPECT_EQ(factory->QueryInterface(IID_IPersist, &face), E_NOINTERFACE);
    EXPECT_EQ(face, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
    ASSERT_EQ(factory->QueryInterface(IID_IClassFactory, &face), S_OK);
    EXPECT_EQ(face, factory);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(LiveObjectCount, 0);
}

TEST_F(LifetimeTest, CreateInstanceResults) {
    Outer outer;
    struct Case {
        const char* what;
        const CLSID* classId;
        IUnknown* outer;
        const IID* iid;
        HRESULT expected;
    };
    const Case cases[] = {
        {"plain object", &CLSID_TestObject, nullptr, &IID_IPersist, S_OK},
        {"unsupported interface", &CLSID_TestObject, nullptr, &IID_IStream, E_NOINTERFACE},
        {"aggregated, not IUnknown", &CLSID_TestObject, &outer, &IID_IPersist, E_NOINTERFACE},
        {"constructor refused", &CLSID_TestRefusingConstructor, nullptr, &IID_IUnknown,
         E_ACCESSDENIED},
        {"null without a code", &CLSID_TestNoMemory, nullptr, &IID_IUnknown, E_OUTOFMEMORY},
        {"null with a code", &CLSID_TestNullWithCode, nullptr, &IID_IUnknown, E_ABORT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IClassFactory> factory = FactoryFor(*c.classId);
        void* out = &out;
        EXPECT_EQ(factory->CreateInstance(c.outer, *c.iid, &out), c.expected);
        EXPECT_EQ(TestObject::liveInstances, c.expected == S_OK ? 1 : 0);
        EXPECT_EQ(outer.references, 1) << "the outer object is not touched";
        if (c.expected == S_OK) {
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u)
                << "the caller holds the only reference";
        } else {
            EXPECT_EQ(out, nullptr);
        }
        EXPECT_EQ(TestObject::liveInstances, 0);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    }
}

TEST_F(LifetimeTest, AggregatedObjectDelegatesToItsOuter) {
    Outer outer;
    ComPtr<IClassFactory> factory = FactoryFor(CLSID_TestObject);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    EXPECT_EQ(outer.references, 1) << "creating the inner object takes no outer reference";

    IPersist* persist = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(outer.references, 2) << "the inner face counts on the outer object";

    IUnknown* identity = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer)) << "the face answers the outer identity";
    identity->Release();
    persist->Release();
    EXPECT_EQ(outer.references, 1);

    EXPECT_EQ(outer.inner->Release(), 0u);
    EXPECT_EQ(TestObject::liveInstances, 0);
}

TEST_F(LifetimeTest, CanUnloadNowInEachState) {
    EXPECT_EQ(FrameworkCanUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory = FactoryFor(CLSID_TestObject);
    EXPECT_EQ(FrameworkCanUnloadNow(), S_FALSE) << "a factory is alive";

    ComPtr<IPersist> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersist, object.put_void()), S_OK);
    factory.reset();
    EXPECT_EQ(FrameworkCanUnloadNow(), S_FALSE) << "an object is alive";
    object.reset();
    EXPECT_EQ(FrameworkCanUnloadNow(), S_OK);

    factory = FactoryFor(CLSID_TestObject);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(ServerLockCount, 1);
    EXPECT_EQ(FrameworkCanUnloadNow(), S_FALSE) << "a lock is held";

    factory = FactoryFor(CLSID_TestObject);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.reset();
    EXPECT_EQ(ServerLockCount, -1);
    EXPECT_EQ(FrameworkCanUnloadNow(), S_OK) << "a negative lock count counts as unlocked";
}

// Clients of a "Both" server lock it, share a factory and create objects on
// several threads at once; no count may lose an update.
TEST_F(LifetimeTest, CountsStayExactUnderConcurrentLocksAndCreation) {
    constexpr int kThreads = 4;
    constexpr int kTightRounds = 1000000; // long enough for lost updates to show
    constexpr int kCreations = 2000;
    ComPtr<IClassFactory> shared = FactoryFor(CLSID_TestObject);
    std::atomic<int> ready{0}; // all threads start together, so that they overlap
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([factory = shared.get(), &ready] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
                std::this_thread::yield();
            }
            for (int round = 0; round < kTightRounds; ++round) {
                factory->LockServer(TRUE);
                factory->AddRef();
            }
            for (int round = 0; round < kCreations; ++round) {
                ComPtr<IPersist> object;
                factory->CreateInstance(nullptr, IID_IPersist, object.put_void());
            }
            for (int round = 0; round < kTightRounds; ++round) {
                factory->Release();
                factory->LockServer(FALSE);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(ServerLockCount, 0);
    EXPECT_EQ(LiveObjectCount, 1) << "only the shared factory is left";
    EXPECT_EQ(shared->AddRef(), 2u);
    EXPECT_EQ(shared->Release(), 1u);
    shared.reset();
    EXPECT_EQ(FrameworkCanUnloadNow(), S_OK);
}

} // namespace

namespace {

FakePin enumeratedPin;
FakeFilter enumeratedFilter;

// Each stand-alone object as its creator hands it out: with one reference.
struct StandAloneCase {
    const char* name;
    IUnknown* (*make)();
};

void PrintTo(const StandAloneCase& t, std::ostream* out) {
    *out << t.name;
}

class StandAlone : public LifetimeTest, public testing::WithParamInterface<StandAloneCase> {};

TEST_P(StandAlone, IsBornOwnedCountsAsLiveAndGoesAtItsLastRelease) {
    const StandAloneCase& t = GetParam();
    IUnknown* object = t.make();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(LiveObjectCount, 1);
    EXPECT_EQ(FrameworkCanUnloadNow(), S_FALSE);
    EXPECT_EQ(object->AddRef(), 2u) << "the creator's reference is the first";
    IUnknown* unknown = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 2u);
    void* refused = &refused;
    EXPECT_EQ(object->QueryInterface(IID_IPersist, &refused), E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(LiveObjectCount, 0);
    EXPECT_EQ(FrameworkCanUnloadNow(), S_OK);
    EXPECT_EQ(enumeratedPin.references, 0) << "the pin reference went with the enumerator";
    EXPECT_EQ(enumeratedFilter.references, 0) << "the filter reference went with the enumerator";
}

INSTANTIATE_TEST_SUITE_P(
    Objects, StandAlone,
    testing::Values(StandAloneCase{"MediaTypeEnumerator",
                                   [] {
                                       IEnumMediaTypes* types = nullptr;
                                       EXPECT_EQ(MediaTypeEnumerator::Create(
                                                     &enumeratedPin, &enumeratedPin, &types),
                                                 S_OK);
                                       return static_cast<IUnknown*>(types);
                                   }},
                    StandAloneCase{"PinEnumerator",
                                   [] {
                                       IEnumPins* pins = nullptr;
                                       EXPECT_EQ(PinEnumerator::Create(&enumeratedFilter,
                                                                       &enumeratedFilter, &pins),
                                                 S_OK);
                                       return static_cast<IUnknown*>(pins);
                                   }},
                    StandAloneCase{"ClassFactory",
                                   [] {
                                       return static_cast<IUnknown*>(
                                           FactoryFor(CLSID_TestObject).detach());
                                   }}),
    [](const testing::TestParamInfo<StandAloneCase>& info) { return info.param.name; });

} // namespace
