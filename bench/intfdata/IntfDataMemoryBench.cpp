// Peak heap of loading hostile envelopes at the size bound (4 MiB), and of
// one far past it, next to bare TinyXML parsing a 4 MiB flood of empty
// elements without the node bound. Every C++ allocation of the process is
// counted (operator new is replaced here, so TinyXML's and the standard
// library's count too); the input text is built before the measurement.
//
// Counters: peak_MiB, the most heap held at once during one load beyond
// what was held before it, and x_limit, that peak over the size bound.
#include "InputLimits.h"
#include "IntfData.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

void* counted(void* p)
{
    if (!p)
        throw std::bad_alloc();
    const std::size_t now = g_live += malloc_usable_size(p);
    std::size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void uncount(void* p)
{
    if (p) {
        g_live -= malloc_usable_size(p);
        std::free(p);
    }
}

} // namespace

void* operator new(std::size_t n) { return counted(std::malloc(n ? n : 1)); }
void* operator new[](std::size_t n) { return counted(std::malloc(n ? n : 1)); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    void* p = std::malloc(n ? n : 1);
    return p ? counted(p) : nullptr;
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { uncount(p); }
void operator delete[](void* p) noexcept { uncount(p); }
void operator delete(void* p, std::size_t) noexcept { uncount(p); }
void operator delete[](void* p, std::size_t) noexcept { uncount(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { uncount(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { uncount(p); }

namespace {

constexpr std::size_t kLimit = tav_common::kMaxDocumentBytes;
const std::string kHeader(148, ' ');

std::string repeated(const std::string& piece, std::size_t count)
{
    std::string out;
    out.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i)
        out += piece;
    return out;
}

// body inside one root element, padded with white space to fill the text
// up to size bytes.
std::string envelope(const std::string& body, std::size_t size = kLimit)
{
    std::string text = kHeader + "<r>" + body + "</r>";
    if (text.size() < size)
        text.append(size - text.size(), ' ');
    return text;
}

// One attribute per element, its value long enough that the nodes fill the
// size bound: as many nodes as the bound admits, each as costly as it gets.
std::string costlyNodes()
{
    const std::size_t elements = (tav_common::kMaxXmlNodes - 1) / 2;
    const std::size_t piece = (kLimit - kHeader.size() - 16) / elements;
    return envelope(repeated("<a v='" + std::string(piece - 9, 'v') + "'/>", elements));
}

// The node bound in the smallest text: empty elements.
std::string cheapNodes() { return envelope(repeated("<a/>", tav_common::kMaxXmlNodes - 1)); }

// Everything in one attribute value.
std::string oneValue()
{
    return envelope("<a v='" + std::string(kLimit - kHeader.size() - 16, 'v') + "'/>");
}

// The reported flood: 33 MB of empty elements, refused unread.
std::string flood() { return kHeader + repeated("<a/>", (33u << 20) / 4); }

void report(benchmark::State& state, std::size_t peak)
{
    state.counters["peak_MiB"] = static_cast<double>(peak) / (1 << 20);
    state.counters["x_limit"] = static_cast<double>(peak) / kLimit;
}

void loadPeak(benchmark::State& state, std::string (*make)(), bool loads)
{
    const std::string text = make();
    std::size_t peak = 0;
    for (auto _ : state) {
        const std::size_t before = g_live.load();
        g_peak = before;
        {
            IPCAPI::CIntfData e;
            if (e.load(text) != loads)
                state.SkipWithError("load gave the wrong verdict");
            benchmark::DoNotOptimize(&e);
        }
        peak = g_peak.load() - before;
    }
    report(state, peak);
}

void BM_LoadAtLimit_CostlyNodes(benchmark::State& state) { loadPeak(state, costlyNodes, true); }
void BM_LoadAtLimit_CheapNodes(benchmark::State& state) { loadPeak(state, cheapNodes, true); }
void BM_LoadAtLimit_OneValue(benchmark::State& state) { loadPeak(state, oneValue, true); }
void BM_LoadRefused_Flood33MB(benchmark::State& state) { loadPeak(state, flood, false); }
BENCHMARK(BM_LoadAtLimit_CostlyNodes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAtLimit_CheapNodes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAtLimit_OneValue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRefused_Flood33MB)->Unit(benchmark::kMillisecond);

// What the bounds prevent: bare TinyXML given 4 MiB of empty elements.
void BM_BareTinyXml_Flood4MiB(benchmark::State& state)
{
    const std::string xml = "<r>" + repeated("<a/>", (kLimit - 7) / 4) + "</r>";
    std::size_t peak = 0;
    for (auto _ : state) {
        const std::size_t before = g_live.load();
        g_peak = before;
        {
            TiXmlDocument doc;
            doc.Parse(xml.c_str());
            benchmark::DoNotOptimize(&doc);
        }
        peak = g_peak.load() - before;
    }
    report(state, peak);
}
BENCHMARK(BM_BareTinyXml_Flood4MiB)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
