#include "LockScheduleData.h"

#include "DataXml.h"

namespace LibTAVData {

namespace {

const char* const kDays[] = {"MONDAY", "TUESDAY",  "WEDNESDAY", "THURSDAY",
                             "FRIDAY", "SATURDAY", "SUNDAY"};

void DeleteSections(std::list<CLockTimeSection*>* list)
{
    if (!list)
        return;
    for (CLockTimeSection* s : *list)
        delete s;
    list->clear();
}

} // namespace

CLockScheduleData::CLockScheduleData()
    : m_iAutoLock(0), m_iManualLock(0), m_iLockStatus(0),
      m_pAutomaticLockTimeList(new std::list<CLockTimeSection*>), m_pManualLock(new CManualLock)
{}

CLockScheduleData::~CLockScheduleData()
{
    delete m_pManualLock;
    // FinalRelease has already set the list to null, so nothing is released
    // twice.
    SetPAutomaticLockTimeList(nullptr);
}

void CLockScheduleData::SetAutoLock(int autoLock) { m_iAutoLock = autoLock; }
void CLockScheduleData::SetManualLock(int manualLock) { m_iManualLock = manualLock; }
void CLockScheduleData::SetLockStatus(int lockStatus) { m_iLockStatus = lockStatus; }
int CLockScheduleData::GetLockStatus() { return m_iLockStatus; }
bool CLockScheduleData::IsAutoLockEnable() { return m_iAutoLock == 1; }
bool CLockScheduleData::IsManualLockEnable() { return m_iManualLock == 1; }
bool CLockScheduleData::Islocked() { return m_iLockStatus == 2 || m_iLockStatus == 4; }

std::list<CLockTimeSection*>* CLockScheduleData::GetPAutomaticLockTimeList() const
{
    return m_pAutomaticLockTimeList;
}

void CLockScheduleData::SetPAutomaticLockTimeList(std::list<CLockTimeSection*>* list)
{
    if (list == m_pAutomaticLockTimeList)
        return;
    DeleteSections(m_pAutomaticLockTimeList);
    delete m_pAutomaticLockTimeList;
    m_pAutomaticLockTimeList = list;
}

void CLockScheduleData::Clear() { DeleteSections(m_pAutomaticLockTimeList); }

void CLockScheduleData::FinalRelease()
{
    SetPAutomaticLockTimeList(nullptr);
    delete this;
}

CManualLock* CLockScheduleData::GetPManualLockInfo() const { return m_pManualLock; }

void CLockScheduleData::SetManualLockInfo(CManualLock* info)
{
    if (info && m_pManualLock && info != m_pManualLock)
        *m_pManualLock = *info;
}

void CLockScheduleData::SetManualLockOption(int option)
{
    if (m_pManualLock)
        m_pManualLock->SetOption(option);
}

int CLockScheduleData::WeekDayString2Int(std::string day)
{
    for (int i = 0; i < 7; ++i)
        if (day == kDays[i])
            return i;
    return -1;
}

std::string CLockScheduleData::WeekDayInt2String(int day)
{
    if (day < 0 || day > 6)
        return "Invalid Day.";
    return kDays[day];
}

int CLockScheduleData::Member2DOM()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;
    AddDeclaration(m_pDocument);
    TiXmlElement* root = AddElement(m_pDocument, "LockSchedule");
    AddTextElement(root, "AutoLockStatus", m_iAutoLock);
    AddTextElement(root, "ManualLockStatus", m_iManualLock);
    AddTextElement(root, "LockStatus", m_iLockStatus);

    TiXmlElement* automatic = AddElement(root, "AutomaticLock");
    if (m_pAutomaticLockTimeList) {
        for (const CLockTimeSection* s : *m_pAutomaticLockTimeList) {
            if (!s)
                continue;
            TiXmlElement* e = AddElement(automatic, "LockTimeSection");
            e->SetAttribute("DayOfWeek", WeekDayInt2String(s->m_iDayOfWeek));
            e->SetAttribute("Start", s->m_iStartTime);
            e->SetAttribute("End", s->m_iEndTime);
        }
    }

    CManualLock none;
    CManualLock& m = m_pManualLock ? *m_pManualLock : none;
    TiXmlElement* manual = AddElement(root, "ManualLock");
    manual->SetAttribute("Option", m.GetOption());
    int lockedTime = 0;
    m.GetLockedTime(lockedTime);
    AddTextElement(manual, "LockedTime", lockedTime);
    AddTextElement(manual, "DisconnectTime", m.GetDisconnectTime());
    AddTextElement(manual, "UnlockAfterDisconnect", m.GetUnlockAfterDisconnect());
    AddTextElement(manual, "UnlockAfterConnect", m.GetUnlockAfterConnect());
    return 0;
}

int CLockScheduleData::DOM2Member()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;

    // Element text as an integer (0 when it is not a number); no text
    // leaves the field as it was.
    auto readText = [this](TiXmlElement* e, int& field) {
        if (const char* text = e->GetText()) {
            std::string s = text;
            ConvertString2Int(s, field);
        }
    };
    auto readAttribute = [this](TiXmlElement* e, const char* name, int& field) {
        const std::string* value = e->Attribute(std::string(name));
        if (!value)
            return false;
        std::string s = *value;
        ConvertString2Int(s, field);
        return true;
    };

    TiXmlElement* root = FirstChild(m_pDocument, "LockSchedule");
    if (!root)
        return -1;
    TiXmlElement* e = FirstChild(root, "AutoLockStatus");
    if (!e)
        return -1;
    readText(e, m_iAutoLock);
    e = NextSibling(e, "ManualLockStatus");
    if (!e)
        return -1;
    readText(e, m_iManualLock);
    e = NextSibling(e, "LockStatus");
    if (!e)
        return -1;
    readText(e, m_iLockStatus);

    TiXmlElement* section = FirstChild(FirstChild(root, "AutomaticLock"), "LockTimeSection");
    if (section) {
        if (m_pAutomaticLockTimeList)
            DeleteSections(m_pAutomaticLockTimeList);
        else
            m_pAutomaticLockTimeList = new std::list<CLockTimeSection*>;
        for (; section; section = section->NextSiblingElement("LockTimeSection")) {
            const char* day = section->Attribute("DayOfWeek");
            CLockTimeSection s;
            if (!day || !readAttribute(section, "Start", s.m_iStartTime) ||
                !readAttribute(section, "End", s.m_iEndTime))
                continue;
            s.m_iDayOfWeek = WeekDayString2Int(day);
            m_pAutomaticLockTimeList->push_back(new CLockTimeSection(s));
        }
    }

    if (m_iManualLock == 0)
        return 0;

    TiXmlElement* manual = FirstChild(root, "ManualLock");
    if (!manual || !m_pManualLock)
        return -1;
    int option = 0;
    if (!readAttribute(manual, "Option", option))
        return -1;
    m_pManualLock->SetOption(option);

    int value = 0;
    e = FirstChild(manual, "LockedTime");
    if (!e)
        return -1;
    m_pManualLock->GetLockedTime(value);
    readText(e, value);
    m_pManualLock->SetLockedTime(value);

    e = NextSibling(e, "DisconnectTime");
    if (!e)
        return -1;
    value = m_pManualLock->GetDisconnectTime();
    readText(e, value);
    m_pManualLock->SetDisconnectTime(value);

    e = NextSibling(e, "UnlockAfterDisconnect");
    if (!e)
        return -1;
    value = m_pManualLock->GetUnlockAfterDisconnect();
    readText(e, value);
    m_pManualLock->SetUnlockAfterDisconnect(value);

    e = NextSibling(e, "UnlockAfterConnect");
    if (!e)
        return -1;
    value = m_pManualLock->GetUnlockAfterConnect();
    readText(e, value);
    m_pManualLock->SetUnlockAfterConnect(value);
    return 0;
}

} // namespace LibTAVData
