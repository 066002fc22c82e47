// The envelope names and parameters that only the two daemons exchange (the
// rest are the bus protocol's own, TAVProtocol.h), spelt in this one place.
#ifndef TAV_DAEMONS_CLASSMESSAGES_H
#define TAV_DAEMONS_CLASSMESSAGES_H

namespace tavd {

// Presence of a student (with its record as the student-information list)
// or of the teacher, on the presence topics; retained.
constexpr const char* kPresenceMessage = "CLASS_PRESENCE";
// A student asks to join the class, with its record.
constexpr const char* kJoinMessage = "CLASS_JOIN";

// "online" or "offline".
constexpr const char* kStateParam = "strState";
constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";

// A policy deployment's time on the teacher's clock, milliseconds since
// 1970 as decimal text: the newest wins, the same one is applied once.
constexpr const char* kDeployTimeParam = "strDeployTime";

// The teacher's presence envelope carries this in its student-id field.
constexpr const char* kTeacherSender = "teacher";

} // namespace tavd

#endif
