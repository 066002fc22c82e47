// The exported entry functions and the manager, in children of their own:
// each role's object takes the process's one controller.
#include "IPCAPIManager.h"
#include "IPCController.h"
#include "IPCStudentAPI.h"
#include "IPCStudentDaemonAPI.h"
#include "IPCTeacherAPI.h"
#include "IPCTeacherDaemonAPI.h"
#include "RawPeer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace IPCAPI;

TEST(Entry, RejectsUnknownRolesAndNothingToRelease)
{
    IPCAPIBase* sentinel = reinterpret_cast<IPCAPIBase*>(0x1);
    IPCAPIBase* p = sentinel;
    EXPECT_EQ(InitializeTAVLibrary(4, &p), 2);
    EXPECT_EQ(InitializeTAVLibrary(-1, &p), 2);
    EXPECT_EQ(p, sentinel);
    EXPECT_EQ(InitializeTAVLibrary(1, nullptr), 2);
    EXPECT_EQ(UninitializeTAVLibrary(nullptr), 2);
    EXPECT_EQ(IPCAPIManager::Release(), 2);
    EXPECT_EQ(IPCAPIManager::GetInstance(9, &p), 2);
    EXPECT_EQ(IPCAPIManager::m_Instance, nullptr);
    EXPECT_EQ(p, sentinel);
}

TEST(Entry, EachRoleGetsItsClassAndBusName)
{
    const char* names[] = {"tav.teacher.app", "tav.student.app", "tav.teacher.daemon",
                           "tav.student.daemon"};
    for (int role = 0; role < 4; ++role) {
        EXPECT_CHILD_PASSES([&] {
            IPCAPIBase* api = nullptr;
            EXPECT_EQ(InitializeTAVLibrary(role, &api), 0);
            if (!api)
                return 1;
            switch (role) {
            case 0:
                EXPECT_NE(dynamic_cast<IPCTeacherAPI*>(api), nullptr);
                break;
            case 1:
                EXPECT_NE(dynamic_cast<IPCStudentAPI*>(api), nullptr);
                break;
            case 2:
                EXPECT_NE(dynamic_cast<IPCTeacherDaemonAPI*>(api), nullptr);
                break;
            default:
                EXPECT_NE(dynamic_cast<IPCStudentDaemonAPI*>(api), nullptr);
                break;
            }
            DBusConnection* peer = rawpeer::Connect();
            EXPECT_TRUE(dbus_bus_name_has_owner(peer, names[role], nullptr)) << names[role];
            // Two objects of one role share the controller.
            IPCAPIBase* second = nullptr;
            EXPECT_EQ(InitializeTAVLibrary(role, &second), 0);
            EXPECT_NE(second, api);
            EXPECT_EQ(IPCController::m_IPCCounts, 2);
            EXPECT_EQ(UninitializeTAVLibrary(api), 0);
            EXPECT_NE(IPCController::m_Instance, nullptr);
            EXPECT_EQ(UninitializeTAVLibrary(second), 0);
            EXPECT_EQ(IPCController::m_Instance, nullptr);
            EXPECT_FALSE(dbus_bus_name_has_owner(peer, names[role], nullptr));
            rawpeer::Close(peer);
            return 0;
        });
    }
}

TEST(Entry, ManagerHoldsOneObject)
{
    EXPECT_CHILD_PASSES([] {
        IPCAPIBase* first = nullptr;
        IPCAPIBase* again = nullptr;
        EXPECT_EQ(IPCAPIManager::GetInstance(1, &first), 0);
        EXPECT_NE(dynamic_cast<IPCStudentAPI*>(first), nullptr);
        // Another role still gets the same object.
        EXPECT_EQ(IPCAPIManager::GetInstance(3, &again), 0);
        EXPECT_EQ(first, again);
        EXPECT_EQ(IPCAPIManager::Release(), 0);
        EXPECT_EQ(IPCAPIManager::Release(), 2);
        EXPECT_EQ(IPCController::m_Instance, nullptr);
        EXPECT_EQ(IPCAPIManager::GetInstance(2, &again), 0);
        EXPECT_NE(dynamic_cast<IPCTeacherDaemonAPI*>(again), nullptr);
        EXPECT_EQ(IPCAPIManager::Release(), 0);
        return 0;
    });
}
