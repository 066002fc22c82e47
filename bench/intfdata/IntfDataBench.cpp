// An envelope with three parameters, built and printed, then loaded and read
// back, next to bare TinyXML doing the same print and parse. After the runs
// the ratio of each pair is printed (goal: within 1.2), from CPU time and
// from the medians when run with --benchmark_repetitions.
#include "IntfData.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const char kMessage[] = "TEACHER_SEARCHPROGRAM";
const char kFolder[] = "/usr/share/applications";
const char kXml[] = "<Programs><Program name=\"Editor\" path=\"/usr/bin/editor\" /></Programs>";

void BM_IntfData_BuildPrint(benchmark::State& state)
{
    for (auto _ : state) {
        IPCAPI::CIntfData e(kMessage, 42, "null");
        e.m_ParaXml.setString("targetFolder", kFolder);
        e.m_ParaXml.setInt("iReturn", 0);
        e.m_ParaXml.setString("programsXML", kXml);
        std::string text;
        e.toString(text);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_IntfData_BuildPrint);

template <typename Value>
void addParameter(TiXmlElement* root, const char* name, const char* type, const Value& value)
{
    TiXmlElement* e = new TiXmlElement("Parameter");
    e->SetAttribute("name", name);
    e->SetAttribute("type", type);
    e->SetAttribute("value", value);
    root->LinkEndChild(e);
}

void BM_TinyXml_BuildPrint(benchmark::State& state)
{
    for (auto _ : state) {
        TiXmlDocument doc;
        doc.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
        TiXmlElement* root = new TiXmlElement("Parameters");
        doc.LinkEndChild(root);
        addParameter(root, "targetFolder", "string", std::string(kFolder));
        addParameter(root, "iReturn", "int", 0);
        addParameter(root, "programsXML", "string", std::string(kXml));
        TiXmlPrinter printer;
        printer.SetStreamPrinting();
        doc.Accept(&printer);
        std::string text = printer.Str();
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_TinyXml_BuildPrint);

std::string envelopeText()
{
    IPCAPI::CIntfData e(kMessage, 42, "null");
    e.m_ParaXml.setString("targetFolder", kFolder);
    e.m_ParaXml.setInt("iReturn", 0);
    e.m_ParaXml.setString("programsXML", kXml);
    std::string text;
    e.toString(text);
    return text;
}

void BM_IntfData_LoadRead(benchmark::State& state)
{
    const std::string text = envelopeText();
    for (auto _ : state) {
        IPCAPI::CIntfData e;
        e.load(text);
        std::string message, folder, xml;
        int opid = 0, ret = -1;
        e.GetMessage(message);
        e.GetOperationID(opid);
        e.m_ParaXml.getString("targetFolder", folder);
        e.m_ParaXml.getInt("iReturn", ret);
        e.m_ParaXml.getString("programsXML", xml);
        benchmark::DoNotOptimize(xml.data());
        benchmark::DoNotOptimize(ret);
    }
}
BENCHMARK(BM_IntfData_LoadRead);

// The same parameter XML, parsed and its three values read by name and type
// in one walk over the elements.
void BM_TinyXml_ParseRead(benchmark::State& state)
{
    const std::string xml = envelopeText().substr(148);
    for (auto _ : state) {
        TiXmlDocument doc;
        doc.Parse(xml.c_str());
        std::string folder, xml;
        int ret = -1;
        const TiXmlElement* root = doc.FirstChildElement();
        for (const TiXmlElement* e = root ? root->FirstChildElement() : nullptr; e;
             e = e->NextSiblingElement()) {
            const std::string *name = nullptr, *type = nullptr, *value = nullptr;
            for (const TiXmlAttribute* a = e->FirstAttribute(); a; a = a->Next()) {
                if (a->NameTStr() == "name")
                    name = &a->ValueStr();
                else if (a->NameTStr() == "type")
                    type = &a->ValueStr();
                else if (a->NameTStr() == "value")
                    value = &a->ValueStr();
            }
            if (!name || !type || !value)
                continue;
            if (*name == "targetFolder" && *type == "string")
                folder = *value;
            else if (*name == "iReturn" && *type == "int")
                ret = std::atoi(value->c_str());
            else if (*name == "programsXML" && *type == "string")
                xml = *value;
        }
        benchmark::DoNotOptimize(xml.data());
        benchmark::DoNotOptimize(ret);
    }
}
BENCHMARK(BM_TinyXml_ParseRead);

// Console output as usual, plus the ratio of each library/bare pair.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        // CPU time (the machine is shared); the median when repeated.
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0 &&
                !m_median.count(r.run_name.function_name))
                m_ns[r.run_name.function_name] = r.GetAdjustedCPUTime();
            else if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                m_ns[r.run_name.function_name] = r.GetAdjustedCPUTime();
                m_median[r.run_name.function_name] = true;
            }
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const std::pair<const char*, const char*> pairs[] = {
            {"BM_IntfData_BuildPrint", "BM_TinyXml_BuildPrint"},
            {"BM_IntfData_LoadRead", "BM_TinyXml_ParseRead"},
        };
        for (const auto& [ours, bare] : pairs)
            if (m_ns.count(ours) && m_ns.count(bare) && m_ns[bare] > 0)
                std::printf("%-24s %8.0f ns  vs  %-22s %8.0f ns  ratio %.2f\n", ours, m_ns[ours],
                            bare, m_ns[bare], m_ns[ours] / m_ns[bare]);
    }

private:
    std::map<std::string, double> m_ns;
    std::map<std::string, bool> m_median;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
