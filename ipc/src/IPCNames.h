// Bus names, interfaces, match rules and the object path of the system.
#ifndef TAV_IPC_IPCNAMES_H
#define TAV_IPC_IPCNAMES_H

namespace IPCAPI {

constexpr const char* kObjectPath = "/orvelix/message/object";

constexpr const char* kTeacherAppName = "tav.teacher.app";
constexpr const char* kStudentAppName = "tav.student.app";
constexpr const char* kTeacherDaemonName = "tav.teacher.daemon";
constexpr const char* kStudentDaemonName = "tav.student.daemon";

constexpr const char* kTeacherAppIface = "tav.teacherapp.type";
constexpr const char* kStudentAppIface = "tav.studentapp.type";
constexpr const char* kTeacherDaemonIface = "tav.teacherdaemon.type";
constexpr const char* kStudentDaemonIface = "tav.studentdaemon.type";

// Each role listens to the signals of its peer's interface.
constexpr const char* kTeacherAppMatch = "type='signal',interface='tav.teacherdaemon.type'";
constexpr const char* kStudentAppMatch = "type='signal',interface='tav.studentdaemon.type'";
constexpr const char* kTeacherDaemonMatch = "type='signal',interface='tav.teacherapp.type'";
constexpr const char* kStudentDaemonMatch = "type='signal',interface='tav.studentapp.type'";

} // namespace IPCAPI

#endif
