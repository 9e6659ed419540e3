// Shared by the JPEG benchmarks: runs every registered benchmark and then
// prints, per case, our time against libjpeg-turbo's. Benchmarks are named
// "<kind>/ours/<case>" and "<kind>/turbo/<case>". With repetitions
// (--benchmark_repetitions, best with --benchmark_enable_random_interleaving)
// the table gives the median of the repetitions' times and the ratio of the
// medians.
#pragma once

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace jpegbench {

// libjpeg-turbo's decode of a JPEG in memory into BGR rows (grey files stay
// one channel): the reference the benchmarks compare us with. scaleDenom is 1
// or 8; `asOurs` asks for the same maths as our decoder (slow integer
// transform, plain upsampling). Returns the full frame's pixel count.
inline int64_t TurboDecodeBgr(const std::vector<unsigned char>& bytes, unsigned scaleDenom, bool asOurs,
                              std::vector<unsigned char>& pixels)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    const int64_t framePixels = int64_t{cinfo.image_width} * cinfo.image_height;
    if (asOurs) {
        cinfo.dct_method = JDCT_ISLOW;
        cinfo.do_fancy_upsampling = FALSE;
    }
    if (cinfo.num_components == 3) cinfo.out_color_space = JCS_EXT_BGR;
    cinfo.scale_num = 1;
    cinfo.scale_denom = scaleDenom;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t{cinfo.output_width} * cinfo.output_components;
    pixels.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return framePixels;
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.benchmark_name();
            const size_t a = name.find('/'), b = name.find('/', a + 1);
            if (a == std::string::npos || b == std::string::npos) continue;
            const std::string who = name.substr(a + 1, b - a - 1);
            const std::string key = name.substr(0, a) + "/" + name.substr(b + 1);
            auto& entry = m_times[key];
            if (m_order.empty() || std::find(m_order.begin(), m_order.end(), key) == m_order.end())
                m_order.push_back(key);
            (who == "ours" ? entry.first : entry.second).push_back(run.GetAdjustedRealTime());
            auto& cpu = m_cpuTimes[key];
            (who == "ours" ? cpu.first : cpu.second).push_back(run.GetAdjustedCPUTime());
            for (const auto& [counter, value] : run.counters)
                if (counter == "bytes_ratio_vs_turbo" && who == "ours") m_extra[key] = value;
        }
    }

    void PrintRatios() const
    {
        std::printf("\n%-40s %12s %12s %14s %12s\n", "case", "ours (ms)", "turbo (ms)", "speed ratio", "CPU ratio");
        for (const std::string& key : m_order) {
            const double ours = Median(m_times.at(key).first), turbo = Median(m_times.at(key).second);
            if (ours <= 0 || turbo <= 0) continue;
            const double oursCpu = Median(m_cpuTimes.at(key).first), turboCpu = Median(m_cpuTimes.at(key).second);
            std::printf("%-40s %12.2f %12.2f %13.2fx %11.2fx", key.c_str(), ours, turbo, turbo / ours,
                        oursCpu > 0 ? turboCpu / oursCpu : 0.0);
            auto it = m_extra.find(key);
            if (it != m_extra.end()) std::printf("   size ratio %.4f", double(it->second));
            std::printf("\n");
        }
        std::printf("(speed ratio = turbo time / our time: 1.0 is as fast as libjpeg-turbo; CPU ratio the same\n"
                    " for the process CPU time, which a busy machine's preemption does not inflate)\n");
    }

private:
    static double Median(std::vector<double> v)
    {
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }

    std::map<std::string, std::pair<std::vector<double>, std::vector<double>>> m_times;
    std::map<std::string, std::pair<std::vector<double>, std::vector<double>>> m_cpuTimes;
    std::map<std::string, double> m_extra;
    std::vector<std::string> m_order;
};

inline int RunWithRatios(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}

}  // namespace jpegbench
