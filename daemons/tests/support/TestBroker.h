// A real class broker for tests (the lab's, see LabBroker.h) in a temporary
// folder of the test. In a test's private namespace (NEEDS ns) the
// loopback interface is brought up first and the broker is private to the
// test process.
#ifndef TAV_DAEMONS_TESTS_TESTBROKER_H
#define TAV_DAEMONS_TESTS_TESTBROKER_H

#include "LabBroker.h"
#include "TestSupport.h"

#include <string>
#include <vector>

namespace tavtest {

using tavlab::ChildProcess;
using tavlab::ConnectOutcome;
using tavlab::MachineCredentials;
using tavlab::ToString;
using tavlab::TryConnect;

inline bool MakeClass(const std::string& className, const std::string& outDir,
                      const std::vector<std::string>& extraArgs)
{
    return tavlab::MakeClass(tavlab::LabPrograms::Defaults().makeClass, className, outDir,
                             extraArgs);
}

class TestBroker : public tavlab::ClassBroker {
public:
    bool Start(const std::string& className, const std::vector<std::string>& students,
               const std::vector<std::string>& addresses = {})
    {
        return ClassBroker::Start(MakeTempDir("broker"), className, students, addresses);
    }
};

} // namespace tavtest

#endif
