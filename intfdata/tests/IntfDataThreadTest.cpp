// Envelopes are plain values: threads that each build, print and read their
// own share no state (the IPC worker and host threads do this at once).
#include "IntfData.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(IntfDataThreads, IndependentEnvelopesOnManyThreads)
{
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (int i = 0; i < 300; ++i) {
                IPCAPI::CIntfData e("MSG_" + std::to_string(t), i, "stu" + std::to_string(t));
                e.m_ParaXml.setString("value", std::to_string(t * 1000 + i));
                std::list<IPCAPI::tagStudent_t> students(2);
                students.front().studentID = "s" + std::to_string(i);
                e.m_ParaXml.setStudentInfoList(students);
                std::string text;
                IPCAPI::CIntfData back;
                if (!e.toString(text) || !back.load(text)) {
                    ++mismatches;
                    continue;
                }
                std::string v;
                int opid = -1;
                back.GetOperationID(opid);
                students.clear();
                if (!back.m_ParaXml.getString("value", v) || v != std::to_string(t * 1000 + i) || opid != i ||
                    !back.m_ParaXml.getStudentInfoList(students) || students.size() != 2 ||
                    students.front().studentID != "s" + std::to_string(i))
                    ++mismatches;
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(mismatches.load(), 0);
}
