// Launcher model costs: loading and saving TabNavigation.xml, and merging
// the per-student answers of a program search into one CSearchResultData.
// Both must grow linearly with the number of programs; the ranges below
// let Google Benchmark fit the complexity (BigO column).
//
//   program_data_bench --benchmark_filter=Headline   the required sizes
//   program_data_bench                                everything
#include "SearchResultData.h"
#include "TabNavigationData.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace LibTAVData;

namespace {

// A scratch folder for the files, removed at exit.
class Scratch {
public:
    Scratch()
    {
        const char* tmp = getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavbench-XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()))
            m_dir = buf.data();
    }
    ~Scratch()
    {
        for (const std::string& f : m_files)
            std::remove(f.c_str());
        if (!m_dir.empty())
            rmdir(m_dir.c_str());
    }
    std::string File(const std::string& name)
    {
        m_files.push_back(m_dir + "/" + name);
        return m_files.back();
    }

private:
    std::string m_dir;
    std::vector<std::string> m_files;
};

Scratch& TheScratch()
{
    static Scratch scratch;
    return scratch;
}

void Fill(CTabNavigationData& model, int categories, int programs)
{
    for (int c = 0; c < categories; ++c) {
        auto* category = new CCategory;
        category->SetName("Category " + std::to_string(c));
        category->SetCategoryIcon("/etc/TAV/image/category_" + std::to_string(c) + ".png");
        for (int p = 0; p < programs; ++p) {
            auto* app = new CApplicationInfo;
            const std::string id = std::to_string(c) + "_" + std::to_string(p);
            app->SetEnable(p % 3 ? 1 : 0);
            app->SetName("Program " + id);
            app->SetPath("/usr/bin/program_" + id + " --start");
            app->SetCustomIcon(p % 2 ? "/etc/TAV/image/program_" + id + ".png" : "");
            category->GetPApplicationInfoList()->push_back(app);
        }
        model.GetPCategoryInfoList()->push_back(category);
    }
}

std::string TabNavigationFile(int categories, int programs)
{
    CTabNavigationData model;
    Fill(model, categories, programs);
    const std::string file = TheScratch().File("TabNavigation_" + std::to_string(categories) + "x" +
                                               std::to_string(programs) + ".xml");
    model.Save2File(file);
    return file;
}

void LoadTabNavigation(benchmark::State& state)
{
    const int categories = static_cast<int>(state.range(0));
    const int programs = static_cast<int>(state.range(1));
    const std::string file = TabNavigationFile(categories, programs);
    CTabNavigationData model;
    for (auto _ : state) {
        if (model.LoadFromFile(file) != 0)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(model.GetPCategoryInfoList());
    }
    state.SetComplexityN(static_cast<int64_t>(categories) * programs);
    state.SetItemsProcessed(state.iterations() * categories * programs);
}

void SaveTabNavigation(benchmark::State& state)
{
    const int categories = static_cast<int>(state.range(0));
    const int programs = static_cast<int>(state.range(1));
    CTabNavigationData model;
    Fill(model, categories, programs);
    const std::string file = TheScratch().File("Saved_" + std::to_string(categories) + "x" +
                                               std::to_string(programs) + ".xml");
    for (auto _ : state) {
        if (model.Save2File(file) != 0)
            state.SkipWithError("save failed");
    }
    state.SetComplexityN(static_cast<int64_t>(categories) * programs);
    state.SetItemsProcessed(state.iterations() * categories * programs);
}

// The answer of one student: the first half of its programs are installed
// on every machine (duplicates after the first answer), the second half only
// on this one, so the collected names keep growing with every answer.
std::string Answer(int student, int programs)
{
    CSearchResultData answer;
    for (int p = 0; p < programs; ++p) {
        auto* app = new CApplicationInfo;
        const std::string id = p < programs / 2 ? std::to_string(p)
                                                : std::to_string(student) + "_" + std::to_string(p);
        app->SetName("Program " + id);
        app->SetPath("/usr/bin/program_" + id);
        app->SetCustomIcon("/usr/share/icons/program_" + id + ".png");
        answer.GetPApplicationInfoList()->push_back(app);
    }
    std::string text;
    answer.Save2String(text);
    return text;
}

void MergeAnswers(benchmark::State& state)
{
    const int answers = static_cast<int>(state.range(0));
    const int programs = static_cast<int>(state.range(1));
    std::vector<std::string> texts;
    for (int s = 0; s < answers; ++s)
        texts.push_back(Answer(s, programs));
    std::size_t collected = 0;
    for (auto _ : state) {
        CSearchResultData results;
        for (const std::string& text : texts)
            results.AddApplications(text);
        collected = results.GetPApplicationInfoList()->size();
    }
    if (collected != static_cast<std::size_t>(programs / 2 + answers * (programs - programs / 2)))
        state.SkipWithError("unexpected number of programs collected");
    state.counters["collected"] = static_cast<double>(collected);
    state.SetComplexityN(static_cast<int64_t>(answers) * programs);
    state.SetItemsProcessed(state.iterations() * answers * programs);
}

// The required sizes: 20 categories x 50 programs; 40 answers x 200 programs.
BENCHMARK(LoadTabNavigation)
    ->Name("Headline/LoadTabNavigation")
    ->Args({20, 50})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(SaveTabNavigation)
    ->Name("Headline/SaveTabNavigation")
    ->Args({20, 50})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(MergeAnswers)
    ->Name("Headline/AddApplications")
    ->Args({40, 200})
    ->Unit(benchmark::kMicrosecond);

// Linearity: the number of programs grows 16-fold along each range, once by
// more categories/answers and once by more programs in each.
BENCHMARK(LoadTabNavigation)
    ->Name("Scaling/LoadTabNavigation")
    ->ArgsProduct({{20}, {25, 50, 100, 200, 400}})
    ->ArgsProduct({{5, 10, 20, 40, 80}, {50}})
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);
BENCHMARK(SaveTabNavigation)
    ->Name("Scaling/SaveTabNavigation")
    ->ArgsProduct({{20}, {25, 50, 100, 200, 400}})
    ->ArgsProduct({{5, 10, 20, 40, 80}, {50}})
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);
BENCHMARK(MergeAnswers)
    ->Name("Scaling/AddApplications")
    ->ArgsProduct({{10, 20, 40, 80, 160}, {200}})
    ->ArgsProduct({{40}, {50, 100, 200, 400, 800}})
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
