// The simulated service alone, in a process of its own (no JVM, no library):
// a letter-size colour page at 300 dpi from the default scanner's flatbed,
// with the flatbed's ordinary 64 KiB bands and with fine ones.
//
//   scan_direct [--iterations N] [--warmup W] [--fine-band-bytes B] [--output DIR]
//
// Prints one line per case: "process <bands> median_ms <m> min_ms <m> bytes <n> messages <n>".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "direct_scan.h"
#include "wiasim/control.h"

namespace {

int intArg(const char* v, const char* name) {
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    if (!*v || *end || n < 0 || n > 1000000) throw std::runtime_error(std::string("bad ") + name + ": " + v);
    return static_cast<int>(n);
}

void run(int bands, const std::string& path, int warmup, int iterations) {
    wiasim::loadProfileJson(bench::profileWithBands(bands));
    bench::DirectScanner scanner;
    std::vector<double> ms;
    long messages = 0;
    for (int i = 0; i < warmup + iterations; ++i) {
        const auto start = std::chrono::steady_clock::now();
        messages = scanner.scan(path);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        if (i >= warmup) ms.push_back(took.count());
    }
    std::sort(ms.begin(), ms.end());
    struct stat st {};
    const long long bytes = ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    std::remove(path.c_str());
    std::printf("process %d median_ms %.2f min_ms %.2f bytes %lld messages %ld\n", bands, ms[ms.size() / 2],
                ms.front(), bytes, messages);
}

}  // namespace

int main(int argc, char** argv) {
    int iterations = 15, warmup = 2, fine = 1024;
    std::string output = ".";
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            if (i + 1 >= argc) throw std::runtime_error("missing value of " + a);
            const char* v = argv[++i];
            if (a == "--iterations") iterations = std::max(1, intArg(v, "iterations"));
            else if (a == "--warmup") warmup = intArg(v, "warmup");
            else if (a == "--fine-band-bytes") fine = std::max(1, intArg(v, "band bytes"));
            else if (a == "--output") output = v;
            else throw std::runtime_error("unknown option " + a);
        }
        if (CoInitializeEx(nullptr, COINIT_MULTITHREADED) < 0) throw std::runtime_error("CoInitializeEx failed");
        for (int bands : {65536, fine}) run(bands, output + "/process-" + std::to_string(bands) + ".bmp", warmup, iterations);
        CoUninitialize();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "scan_direct: %s\n", e.what());
        return 1;
    }
    return 0;
}
