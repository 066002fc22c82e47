// Started by the data-tools tests in place of a real program. Writes its
// argument vector and parent to $TAV_PROBE_OUT, waits (at most 20 s) for
// $TAV_PROBE_RELEASE to exist when that is set, then creates
// $TAV_PROBE_OUT.done.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    const char* out = std::getenv("TAV_PROBE_OUT");
    if (!out)
        return 2;
    {
        std::ofstream f(std::string(out) + ".tmp");
        f << "argc=" << argc << "\n";
        for (int i = 0; i < argc; ++i)
            f << "argv[" << i << "]=" << argv[i] << "\n";
        f << "ppid=" << ::getppid() << "\n";
    }
    std::rename((std::string(out) + ".tmp").c_str(), out);
    if (const char* release = std::getenv("TAV_PROBE_RELEASE")) {
        for (int i = 0; i < 2000 && ::access(release, F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ofstream(std::string(out) + ".done") << "done\n";
    return 0;
}
