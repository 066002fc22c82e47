// A machine's lock policy, stored as /etc/TAV/LockSchedule.xml: automatic
// locking by a weekly schedule of time sections, manual locking with its
// options, and the current lock status. Crosses the bus as the text of
// Save2String.
#ifndef TAV_DATA_LOCKSCHEDULEDATA_H
#define TAV_DATA_LOCKSCHEDULEDATA_H

#include "TAVDataProvider.h"

#include <list>
#include <string>

namespace LibTAVData {

// One weekly time section: day 0 (Monday) to 6 (Sunday), -1 for a day name
// the file did not know; start and end as hours of the day (the settings
// dialog makes one section per hour, end = start + 1). Any integers are kept
// as given.
class CLockTimeSection {
public:
    CLockTimeSection() = default;
    CLockTimeSection(int dayOfWeek, int startTime, int endTime)
        : m_iDayOfWeek(dayOfWeek), m_iStartTime(startTime), m_iEndTime(endTime)
    {}
    virtual ~CLockTimeSection() = default;

    bool operator==(const CLockTimeSection& other) const
    {
        return m_iDayOfWeek == other.m_iDayOfWeek && m_iStartTime == other.m_iStartTime &&
               m_iEndTime == other.m_iEndTime;
    }
    bool operator!=(const CLockTimeSection& other) const { return !(*this == other); }

    int m_iDayOfWeek = 0;
    int m_iStartTime = 0;
    int m_iEndTime = 0;
};

// Options of manual locking. The meaning of the values is the business of
// the programs that use them.
class CManualLock {
public:
    CManualLock() = default;
    virtual ~CManualLock() = default;

    int GetOption() { return m_iOption; }
    void SetOption(int option) { m_iOption = option; }
    void GetLockedTime(int& out) { out = m_iLockedTime; }
    void SetLockedTime(int lockedTime) { m_iLockedTime = lockedTime; }
    int GetUnlockAfterDisconnect() { return m_iUnlockAfterDisconnect; }
    void SetUnlockAfterDisconnect(int value) { m_iUnlockAfterDisconnect = value; }
    int GetUnlockAfterConnect() { return m_iUnlockAfterConnect; }
    void SetUnlockAfterConnect(int value) { m_iUnlockAfterConnect = value; }
    int GetDisconnectTime() { return m_iDisconnectTime; }
    void SetDisconnectTime(int value) { m_iDisconnectTime = value; }

private:
    int m_iOption = 0;
    int m_iLockedTime = 0;
    int m_iUnlockAfterDisconnect = 0;
    int m_iUnlockAfterConnect = 0;
    int m_iDisconnectTime = 0;
};

class CLockScheduleData : public CTAVDataProvider {
public:
    CLockScheduleData();
    // Releases the manual-lock record and the time sections still held.
    ~CLockScheduleData() override;

    // Reads the document: -1 when the root, a status element or (with manual
    // locking on) the manual-lock part is incomplete; what was read before
    // stays. Time sections lacking an attribute are dropped; a document
    // without sections keeps the ones held.
    int DOM2Member() override;
    int Member2DOM() override;

    void SetAutoLock(int autoLock);
    void SetManualLock(int manualLock);
    void SetLockStatus(int lockStatus);
    int GetLockStatus();

    // Exactly 1 means enabled.
    bool IsAutoLockEnable();
    bool IsManualLockEnable();
    // Status 2 or 4.
    bool Islocked();

    // The held list itself (null only after a setter was given null).
    std::list<CLockTimeSection*>* GetPAutomaticLockTimeList() const;
    // Takes ownership of list and its sections (null allowed); the sections
    // held before are deleted. Passing the held list changes nothing.
    void SetPAutomaticLockTimeList(std::list<CLockTimeSection*>* list);
    // Deletes the held sections; the list stays.
    void Clear();
    // Releases the sections and deletes this object (made with new).
    void FinalRelease();

    CManualLock* GetPManualLockInfo() const;
    // Copies the five fields of info (null: nothing); info is not kept.
    void SetManualLockInfo(CManualLock* info);
    void SetManualLockOption(int option);

    // "MONDAY" .. "SUNDAY" <-> 0 .. 6; -1 and "Invalid Day." otherwise.
    static int WeekDayString2Int(std::string day);
    static std::string WeekDayInt2String(int day);

private:
    int m_iAutoLock;
    int m_iManualLock;
    int m_iLockStatus;
    std::list<CLockTimeSection*>* m_pAutomaticLockTimeList;
    CManualLock* m_pManualLock;
};

} // namespace LibTAVData

#endif
