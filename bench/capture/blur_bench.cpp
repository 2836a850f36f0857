// Prints, for a generated screen-like 1600×1000 RGBA picture and sigma 6.25,
// 12.5, 25 and 50 pixels: the median time of our blur on one and on two
// threads, on one thread written at 1920×1200 (as for an overlay larger than
// the capture), its throughput, its PSNR against the exact double-precision blur,
// and the time of OpenCV's cv::GaussianBlur (replicated border, kernel from
// sigma) measured in the same run, when OpenCV was found at build time.
//
//     blur_bench [repeats] [directory to write the picture and its blurs into]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "bench/capture/screen_image.h"
#include "bench/capture/thread_splitter.h"
#include "engine/capture/blur_kernels.h"
#include "engine/capture/gaussian_blur.h"

#if defined(HG_HAVE_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuMillis()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Median wall-clock milliseconds; `cpu` (optional) receives the median CPU
// time of the calling thread, which a busy machine inflates less.
template <typename F>
double medianMillis(int repeats, F&& f, double* cpu = nullptr)
{
    f();  // warm-up: page faults, caches
    std::vector<double> ms, cpuMs;
    for (int i = 0; i < repeats; ++i) {
        const double c0 = threadCpuMillis();
        const auto t0 = Clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        cpuMs.push_back(threadCpuMillis() - c0);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpuMs.begin(), cpuMs.end());
    if (cpu)
        *cpu = cpuMs[cpuMs.size() / 2];
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int width = 1600, height = 1000;
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 31;
    const auto src = hg::bench::makeScreenImage(width, height);
    const char* dumpDir = argc > 2 ? argv[2] : nullptr;  // writes the picture and its blurs as raw RGBA
    auto dump = [&](const std::string& name, const std::vector<std::uint8_t>& pixels) {
        if (!dumpDir)
            return;
        std::ofstream f(std::string(dumpDir) + "/" + name, std::ios::binary);
        f.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
    };
    dump("screen.rgba", src);
    std::vector<std::uint8_t> dst(src.size());
    const double mpix = width * height / 1e6;

    std::printf("blur_bench: %dx%d RGBA8, kernels: %s, median of %d runs\n", width, height,
                hg::blur::blurKernels().name, repeats);
    const double copyMs = medianMillis(repeats, [&] { std::copy(src.begin(), src.end(), dst.begin()); });
    std::printf("memory floor (one read-and-write pass): %.3f ms\n", copyMs);
    std::printf("%7s %7s %9s %9s %9s %9s %10s %8s %10s %10s %10s %9s\n", "sigma", "levels", "1thr ms", "cpu ms",
                "Mpix/s", "2thr ms", "1.2x ms", "PSNR dB", "opencv1 ms", "cv cpu ms", "opencv2 ms", "ratio1");
    std::vector<std::uint8_t> larger(4 * static_cast<std::size_t>(1920) * 1200);

    hg::GaussianBlur single;
    hg::bench::ThreadSplitter two(2);
    hg::GaussianBlur dual(&two);
    for (double sigma : {6.25, 12.5, 25.0, 50.0}) {
        double oneCpu = 0;
        const double oneMs = medianMillis(
            repeats, [&] { single.blur(src.data(), 4 * width, dst.data(), 4 * width, width, height, sigma); },
            &oneCpu);
        const double twoMs = medianMillis(repeats, [&] {
            dual.blur(src.data(), 4 * width, dst.data(), 4 * width, width, height, sigma);
        });
        const double largerMs = medianMillis(repeats, [&] {
            single.blur(src.data(), 4 * width, width, height, larger.data(), 4 * 1920, 1920, 1200, sigma);
        });
        single.blur(src.data(), 4 * width, dst.data(), 4 * width, width, height, sigma);
        dump("blur_" + std::to_string(static_cast<int>(sigma * 100)) + ".rgba", dst);
        const double psnr = hg::bench::psnrRGB(dst, hg::bench::referenceBlur(src, width, height, sigma));
        double cv1 = 0, cv2 = 0, cv1Cpu = 0;
#if defined(HG_HAVE_OPENCV)
        cv::Mat in(height, width, CV_8UC4, const_cast<std::uint8_t*>(src.data()));
        cv::Mat out;
        const int cvRepeats = std::max(3, repeats / (sigma > 20 ? 6 : 2));
        cv::setNumThreads(1);
        cv1 = medianMillis(
            cvRepeats, [&] { cv::GaussianBlur(in, out, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE); },
            &cv1Cpu);
        cv::setNumThreads(2);
        cv2 = medianMillis(cvRepeats, [&] {
            cv::GaussianBlur(in, out, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        });
#endif
        const auto plan = hg::GaussianBlur::planFor(sigma);
        std::printf("%7.2f %7d %9.3f %9.3f %9.1f %9.3f %10.3f %8.2f %10.2f %10.2f %10.2f %9.1f\n", sigma,
                    plan.levels, oneMs, oneCpu, mpix / oneMs * 1000, twoMs, largerMs, psnr, cv1, cv1Cpu, cv2,
                    cv1 > 0 ? cv1 / oneMs : 0.0);
        std::fflush(stdout);
    }
#if !defined(HG_HAVE_OPENCV)
    std::printf("(OpenCV not found at build time: install libopencv-dev for the comparison)\n");
#endif
    return 0;
}
