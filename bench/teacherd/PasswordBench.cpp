// The teacher daemon checks a console password on its one thread, so the
// hash's cost is how long every other request waits behind it: about
// 0.15 s of CPU at ConsolePassword::kIterations on a development machine.
#include "ConsolePassword.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string TempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavbench-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    return ::mkdtemp(buf.data()) ? buf.data() : "";
}

void BM_VerifyConsolePassword(benchmark::State& state)
{
    const std::string dir = TempFolder();
    const std::string file = dir + "/teacher-password";
    teacherd::ConsolePassword password(file);
    if (dir.empty() || password.Change(0, "", "correct horse") != 0) {
        state.SkipWithError("cannot set the password");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(password.Verify(0, "correct horse"));
    state.SetLabel(std::to_string(teacherd::ConsolePassword::kIterations) + " iterations");
    ::unlink(file.c_str());
    ::rmdir(dir.c_str());
}
BENCHMARK(BM_VerifyConsolePassword)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
