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
        gate = CreateEventW(nullptr, TRUE, TRUE, nullptr);
        received = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        idlePolled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        answeredPolled = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~EchoWorker() override {
        CloseHandle(gate);
        CloseHandle(received);
        CloseHandle(idlePolled);
        CloseHandle(answeredPolled);
    }

    DWORD ThreadMain() override {
        APTTYPE type;
        APTTYPEQUALIFIER qualifier;
        apartmentKnown = SUCCEEDED(CoGetApartmentType(&type, &qualifier));
        apartment = type;
        DWORD untouched = 0xDEAD;
        idlePoll = PollRequest(&untouched);
        idlePollCode = untouched;
        SetEvent(idlePolled);
        for (;;) {
            const DWORD code = WaitRequest();
            codes.push_back(code);
            SetEvent(received);
            WaitForSingleObject(gate, bounded::kStepTimeoutMs);
            DWORD polled = 0;
            pendingPolls.push_back(PollRequest(&polled) && polled == code && PollRequest(nullptr));
            pendingPolls.push_back(WaitRequest() == code);
            if (code == kExit) {
                Answer(S_OK);
                return 7;
            }
            Answer(static_cast<HRESULT>(code + 100));
            DWORD afterAnswer = 0xBEEF;
            answeredPolls.push_back(!PollRequest(&afterAnswer) && afterAnswer == 0xBEEF);
            SetEvent(answeredPolled);
        }
    }

    HANDLE gate;
    HANDLE received;
    HANDLE idlePolled;
    HANDLE answeredPolled; // the poll after an answer is done
    bool apartmentKnown = false;
    APTTYPE apartment = APTTYPE_CURRENT;
    BOOL idlePoll = TRUE;
    DWORD idlePollCode = 0;
    std::vector<DWORD> codes;
    std::vector<bool> pendingPolls;  // TRUE on every poll until Answer
    std::vector<bool> answeredPolls; // FALSE right after Answer
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
    EXPECT_EQ(worker->codes, (std::vector<DWORD>{1, 2, kExit}));
    bounded::Within("destruction after the loop ended", [&] { delete worker; });
}

TEST(WorkerThread, PollRequestStaysTrueUntilAnswer) {
    EchoWorker worker;
    ASSERT_TRUE(worker.Start());
    bounded::WaitOrAbandon(worker.idlePolled, "idle poll");
    EXPECT_FALSE(worker.idlePoll);
    EXPECT_EQ(worker.idlePollCode, 0xDEADu) << "PollRequest wrote the code with nothing pending";
    bounded::Within("requests", [&] {
        EXPECT_EQ(worker.Request(3), 103);
        // The next request must not race the worker's poll after its answer.
        bounded::WaitOrAbandon(worker.answeredPolled, "poll after the answer");
        EXPECT_EQ(worker.Request(kExit), S_OK);
    });
    EXPECT_EQ(worker.pendingPolls, (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(worker.answeredPolls, (std::vector<bool>{true}));
}

TEST(WorkerThread, SecondRequesterWaitsForTheFirstAnswer) {
    EchoWorker worker;
    ResetEvent(worker.gate);
    ASSERT_TRUE(worker.Start());

    HRESULT first = S_OK;
    HRESULT second = S_OK;
    bounded::Call firstCall([&] { first = worker.Request(1); });
    bounded::WaitOrAbandon(worker.received, "first request reaching the worker");
    bounded::Call secondCall([&] { second = worker.Request(2); });

    // The worker holds request 1; request 2 must not get through meanwhile.
    EXPECT_FALSE(secondCall.FinishedWithin(200));
    EXPECT_FALSE(firstCall.FinishedWithin(0));
    EXPECT_EQ(worker.codes.size(), 1u);

    SetEvent(worker.gate);
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
    EXPECT_TRUE(worker.apartmentKnown);
    EXPECT_EQ(worker.apartment, APTTYPE_MTA);
}

} // namespace
