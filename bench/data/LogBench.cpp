// Cost of one log line, standard output sent to /dev/null:
//  - BM_OldDesignLine: what each line used to do, reproduced here with
//    log4cpp: a rolling appender and pattern layout built per line, the
//    file opened and closed, the log4cpp hierarchy shut down afterwards;
//  - BM_Line: CTAVLog::WriteLine as it is now (the file stays open);
//  - BM_LineWithControlCharacters: the same with text to escape;
//  - BM_LineFromFourThreads: four threads writing at once.
// Both designs write to files of their own in a temporary home on the
// local disk and roll them at 1 MiB.
#include "TAVLog.h"
#include "TestSupport.h"

#include <benchmark/benchmark.h>
#include <log4cpp/Category.hh>
#include <log4cpp/PatternLayout.hh>
#include <log4cpp/Priority.hh>
#include <log4cpp/RollingFileAppender.hh>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace tavtest::detail {
void InitTempRoot();
void RemoveTempRoot();
} // namespace tavtest::detail

using LibTAVData::CTAVLog;

namespace {

// A typical line of the libraries: an entry trace.
const std::string kMessage = "IPCStudentAPI::HardWareControl() >>Start";

void BM_OldDesignLine(benchmark::State& state)
{
    const std::string path = CTAVLog::getLogDir() + "oldDesign.log";
    for (auto _ : state) {
        auto* appender =
            new log4cpp::RollingFileAppender("RollingFileAppender", path, 1048576, 10, true, 0644);
        appender->setLayout(new log4cpp::PatternLayout());
        log4cpp::Category& cat = log4cpp::Category::getInstance("main_cat");
        cat.setAdditivity(false);
        cat.addAppender(appender);
        cat.setPriority(log4cpp::Priority::NOTSET);
        cat.log(0, "%s:  %s:   %s", CTAVLog::getTime(false).c_str(), "TRACE", kMessage.c_str());
        std::printf("%s:  %s:   %s\n", CTAVLog::getTime(false).c_str(), "TRACE", kMessage.c_str());
        std::fflush(stdout);
        log4cpp::Category::shutdown();
    }
}

void BM_Line(benchmark::State& state)
{
    for (auto _ : state)
        CTAVLog::WriteLine(kMessage, CTAVLog::LOG_TRACE, "newDesign", false);
}

void BM_LineWithControlCharacters(benchmark::State& state)
{
    const std::string message = "peer sent \"line one\r\nline two\x1b[0m\" as a name";
    for (auto _ : state)
        CTAVLog::WriteLine(message, CTAVLog::LOG_TRACE, "newDesign", false);
}

void BM_LineFromFourThreads(benchmark::State& state)
{
    for (auto _ : state)
        CTAVLog::WriteLine(kMessage, CTAVLog::LOG_TRACE, "newDesign", false);
}

} // namespace

BENCHMARK(BM_OldDesignLine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Line)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LineWithControlCharacters)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LineFromFourThreads)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    tavtest::detail::InitTempRoot();
    // Every line is echoed to standard output: /dev/null here; the results
    // go to standard error.
    const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(fd, 1);
    close(fd);
    std::cerr << "log folder: " << CTAVLog::getLogDir() << "\n";
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    tavtest::detail::RemoveTempRoot();
    return 0;
}
