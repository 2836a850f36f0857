// The blur as a command: reads raw RGBA8 (rows top to bottom, no header),
// blurs it N times after a warm-up, writes the last result and prints the
// median milliseconds per blur as its last line, "ms=<float>".
//
//     blur_cli --in IN.rgba --width W --height H --sigma S --out OUT.rgba --repeat N
//
// BLUR_THREADS=<t> in the environment splits the rows over t threads.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/capture/thread_splitter.h"
#include "engine/capture/gaussian_blur.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: blur_cli --in IN.rgba --width W --height H --sigma S --out OUT.rgba --repeat N\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string in, out;
    int width = 0, height = 0, repeat = 1;
    double sigma = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--in")
            in = value;
        else if (key == "--out")
            out = value;
        else if (key == "--width")
            width = std::atoi(value);
        else if (key == "--height")
            height = std::atoi(value);
        else if (key == "--sigma")
            sigma = std::atof(value);
        else if (key == "--repeat")
            repeat = std::atoi(value);
        else
            return usage();
    }
    if (argc % 2 == 0 || in.empty() || out.empty() || width <= 0 || height <= 0 || sigma < 0 || repeat < 1)
        return usage();

    const std::size_t bytes = 4 * static_cast<std::size_t>(width) * height;
    std::vector<std::uint8_t> src(bytes), dst(bytes);
    std::ifstream file(in, std::ios::binary);
    if (!file.read(reinterpret_cast<char*>(src.data()), static_cast<std::streamsize>(bytes))) {
        std::fprintf(stderr, "blur_cli: cannot read %zu bytes from %s\n", bytes, in.c_str());
        return 1;
    }

    int threads = 1;
    if (const char* t = std::getenv("BLUR_THREADS"))
        threads = std::max(1, std::atoi(t));
    std::unique_ptr<hg::bench::ThreadSplitter> splitter;
    if (threads > 1)
        splitter = std::make_unique<hg::bench::ThreadSplitter>(threads);
    hg::GaussianBlur blur(splitter.get());

    blur.blur(src.data(), 4 * width, dst.data(), 4 * width, width, height, sigma);  // warm-up
    std::vector<double> ms;
    for (int i = 0; i < repeat; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        blur.blur(src.data(), 4 * width, dst.data(), 4 * width, width, height, sigma);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());

    std::ofstream outFile(out, std::ios::binary);
    if (!outFile.write(reinterpret_cast<const char*>(dst.data()), static_cast<std::streamsize>(bytes))) {
        std::fprintf(stderr, "blur_cli: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("ms=%.4f\n", ms[ms.size() / 2]);
    return 0;
}
