#include "framework/filters/WorkerThread.h"

#include "tests/support/BoundedWait.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <vector>

namespace {

constexpr DWORD kExit = 0;

// Answers each request with its code + 100 until it is asked to exit. It
// can hold a request (before answering) until the test opens its gate, and
// it records what PollRequest reports around each request.
class EchoWorker : public WorkerThread {
public:
    EchoWorker() {
        gate_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
        received_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        idlePolled_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        answeredPolled_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~EchoWorker() override {
        CloseHandle(gate_);
        CloseHandle(received_);
        CloseHandle(idlePolled_);
        CloseHandle(answeredPolled_);
    }

    DWORD ThreadMain() override {
        APTTYPE type;
        APTTYPEQUALIFIER qualifier;
        apartmentKnown_ = SUCCEEDED(CoGetApartmentType(&type, &qualifier));
        apartment_ = type;
        DWORD untouched = 0xDEAD;
        idlePoll_ = PollRequest(&untouched);
        idlePollCode_ = untouched;
        SetEvent(idlePolled_);
        for (;;) {
            const DWORD code = WaitRequest();
            codes_.push_back(code);
            SetEvent(received_);
            WaitForSingleObject(gate_, bounded::kStepTimeoutMs);
            DWORD polled = 0;
            pendingPolls_.push_back(PollRequest(&polled) && polled == code && PollRequest(nullptr));
            pendingPolls_.push_back(WaitRequest() == code);
            if (code == kExit) {
                Answer(S_OK);
                return 7;
            }
            Answer(static_cast<HRESULT>(code + 100));
            DWORD afterAnswer = 0xBEEF;
            answeredPolls_.push_back(!PollRequest(&afterAnswer) && afterAnswer == 0xBEEF);
            SetEvent(answeredPolled_);
        }
    }

    HANDLE gate_;
    HANDLE received_;
    HANDLE idlePolled_;
    HANDLE answeredPolled_; // the poll after an answer is done
    bool apartmentKnown_ = false;
    APTTYPE apartment_ = APTTYPE_CURRENT;
    BOOL idlePoll_ = TRUE;
    DWORD idlePollCode_ = 0;
    std::vector<DWORD> codes_;
    std::vector<bool> pendingPolls_;  // TRUE on every poll until Answer
    std::vector<bool> answeredPolls_; // FALSE right after Answer
};

TEST(WorkerThread, RequestBeforeStartFailsWithoutBlocking) {
    EchoWorker worker;
    HRESULT result = S_OK;
    bounded::Within("Request before Start", [&] { result = worker.Request(5); });
    EXPECT_EQ(result, E_FAIL);
}

TEST(WorkerThread, AnswersEachRequestThenEndsAndDestructs) {
    auto* worker = new EchoWorker;
    ASSERT_TRUE(worker->Start());
    EXPECT_FALSE(worker->Start()); // one thread per object
    bounded::Within("requests", [&] {
        EXPECT_EQ(worker->Request(1), 101);
        EXPECT_EQ(worker->Request(2), 102);
        EXPECT_EQ(worker->Request(kExit), S_OK);
    });
    // The loop has ended, but the handle is held until destruction.
    EXPECT_FALSE(worker->Start());
    EXPECT_EQ(worker->codes_, (std::vector<DWORD>{1, 2, kExit}));
    bounded::Within("destruction after the loop ended", [&] { delete worker; });
}

TEST(WorkerThread, PollRequestStaysTrueUntilAnswer) {
    EchoWorker worker;
    ASSERT_TRUE(worker.Start());
    bounded::WaitOrAbandon(worker.idlePolled_, "idle poll");
    EXPECT_FALSE(worker.idlePoll_);
    EXPECT_EQ(worker.idlePollCode_, 0xDEADu) << "PollRequest wrote the code with nothing pending";
    bounded::Within("requests", [&] {
        EXPECT_EQ(worker.Request(3), 103);
        // The next request must not race the worker's poll after its answer.
        bounded::WaitOrAbandon(worker.answeredPolled_, "poll after the answer");
        EXPECT_EQ(worker.Request(kExit), S_OK);
    });
    EXPECT_EQ(worker.pendingPolls_, (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(worker.answeredPolls_, (std::vector<bool>{true}));
}

TEST(WorkerThread, SecondRequesterWaitsForTheFirstAnswer) {
    EchoWorker worker;
    ResetEvent(worker.gate_);
    ASSERT_TRUE(worker.Start());

    HRESULT first = S_OK;
    HRESULT second = S_OK;
    bounded::Call firstCall([&] { first = worker.Request(1); });
    bounded::WaitOrAbandon(worker.received_, "first request reaching the worker");
    bounded::Call secondCall([&] { second = worker.Request(2); });

    // The worker holds request 1; request 2 must not get through meanwhile.
    EXPECT_FALSE(secondCall.FinishedWithin(200));
    EXPECT_FALSE(firstCall.FinishedWithin(0));
    EXPECT_EQ(worker.codes_.size(), 1u);

    SetEvent(worker.gate_);
    firstCall.Join("first requester");
    secondCall.Join("second requester");
    EXPECT_EQ(first, 101);
    EXPECT_EQ(second, 102);
    bounded::Within("exit request", [&] { EXPECT_EQ(worker.Request(kExit), S_OK); });
}

TEST(WorkerThread, WorkerJoinsTheMultithreadedApartment) {
    // COM is in the process already (this program imports it), so the
    // worker initialises it by name.
    EchoWorker worker;
    ASSERT_TRUE(worker.Start());
    bounded::Within("exit request", [&] { EXPECT_EQ(worker.Request(kExit), S_OK); });
    EXPECT_TRUE(worker.apartmentKnown_);
    EXPECT_EQ(worker.apartment_, APTTYPE_MTA);
}

} // namespace
