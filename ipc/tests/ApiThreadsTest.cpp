// Several host threads issue blocking and signal requests at once against a
// raw daemon while notifications keep arriving on the worker thread. Run
// under ThreadSanitizer too (label tsan).
#include "ApiTestSupport.h"
#include "IPCStudentAPI.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

using namespace IPCAPI;
using namespace apitest;

namespace {

class Counter : public IIPCStudentAPICallback {
public:
    void ConnectTeacherCallBack(std::string, int) override {}
    void SearchTeacherCallBack(const std::list<std::string>&) override {}
    void NotifyLockStatusChanged(bool) override {}
    void NotifyTabNavPolicyChanged() override {}
    void NotifySchedulePolicyChanged() override {}
    void NotifyTeacherStatusChanged(std::string, int) override {}
    void SearchLocalProgramCallBack(std::string) override {}
    void OnMessage(int id, std::string) override
    {
        if (id == 5)
            ++messages;
    }
    std::atomic<int> messages{0};
};

// The number the request carried as "strXML", sent back as the result.
Answer EchoNumber(const WireMsg& call)
{
    const std::string key = "name=\"strXML\" type=\"string\" value=\"";
    const std::size_t at = call.arg.find(key);
    const int value = at == std::string::npos ? -1 : std::atoi(call.arg.c_str() + at + key.size());
    return {Answer::Text, Envelope(call.member, OpidOf(call.arg), "null", value)};
}

} // namespace

TEST(StudentAPIThreads, ConcurrentRequestsAndNotifications)
{
    EXPECT_CHILD_PASSES(
        [] {
            RawDaemon daemon("tav.student.daemon",
                             {"type='signal',interface='tav.studentapp.type'"}, EchoNumber);
            IPCStudentAPI api;
            Counter counter;
            api.RegisterCallBack(&counter);

            constexpr int kThreads = 6, kEach = 25, kNotes = 20;
            std::atomic<bool> stop{false};
            std::thread notifier([&] {
                DBusConnection* peer = rawpeer::Connect();
                const std::string text = Envelope("POSTMESSAGE", 1, "null", 0,
                                                  Doc({I("MessageID", 5), S("Message", "m")}));
                for (int i = 0; i < kNotes && !stop; ++i) {
                    rawpeer::Signal(peer, "tav.studentdaemon.type", "POSTMESSAGE", text.c_str());
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
                rawpeer::Close(peer);
            });

            std::vector<std::vector<int>> opids(kThreads);
            std::atomic<int> wrong{0};
            std::vector<std::thread> hosts;
            for (int t = 0; t < kThreads; ++t)
                hosts.emplace_back([&, t] {
                    for (int i = 0; i < kEach; ++i) {
                        const int number = t * 1000 + i;
                        int ret = -1;
                        if (api.HardWareControl(std::to_string(number), ret) != 0 || ret != number)
                            ++wrong;
                        int opid = 0;
                        if (api.SearchLocalProgram("/", opid) != 0)
                            ++wrong;
                        opids[t].push_back(opid);
                    }
                });
            for (std::thread& h : hosts)
                h.join();
            EXPECT_EQ(wrong, 0);
            std::set<int> all;
            for (const auto& v : opids)
                all.insert(v.begin(), v.end());
            EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kEach));
            EXPECT_TRUE(tavtest::WaitFor([&] { return counter.messages == kNotes; }, 20000));
            stop = true;
            notifier.join();
            return 0;
        },
        120000);
}
