// A program search on a student machine: the folder listed and the
// programs document written, for a folder of 1000 launchers and one of 1000
// executables (the most a search answers), each with as many other files
// beside them that are no programs.
#include "ProgramSearch.h"
#include "TestSupport.h"

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <string>

namespace tavtest::detail {
void InitTempRoot();
void RemoveTempRoot();
} // namespace tavtest::detail

namespace {

std::string MakeFolder(bool launchers)
{
    const std::string dir = tavtest::MakeTempDir(launchers ? "launchers" : "executables");
    for (int i = 0; i < tavtools::kMaxPrograms; ++i) {
        const std::string n = std::to_string(1000 + i);
        if (launchers) {
            tavtest::WriteFile(dir + "/app" + n + ".desktop",
                               "[Desktop Entry]\nType=Application\nName=Program " + n +
                                   "\nComment=A program\n"
                                   "Exec=/usr/bin/program" +
                                   n + " %U\nIcon=program" + n + "\nCategories=Education;\n");
        } else {
            tavtest::WriteFile(dir + "/program" + n, "#!/bin/sh\n");
            ::chmod((dir + "/program" + n).c_str(), 0755);
        }
        tavtest::WriteFile(dir + "/notes" + n + ".txt", "not a program\n");
    }
    return dir;
}

void ListFolder(benchmark::State& state, bool launchers)
{
    const std::string dir = MakeFolder(launchers);
    int count = 0;
    for (auto _ : state) {
        const studentd::ProgramListing listing = studentd::ListPrograms(dir);
        count = listing.count;
        benchmark::DoNotOptimize(listing.xml.data());
    }
    state.counters["programs"] = count;
}

void BM_Search1000Launchers(benchmark::State& state) { ListFolder(state, true); }
void BM_Search1000Executables(benchmark::State& state) { ListFolder(state, false); }

} // namespace

BENCHMARK(BM_Search1000Launchers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search1000Executables)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    tavtest::detail::InitTempRoot();
    benchmark::RunSpecifiedBenchmarks();
    tavtest::detail::RemoveTempRoot();
    return 0;
}
