// sounddiff A B: the largest difference between the samples of two sound
// files, in dB against full scale, for the tests that a render in parts equals
// the whole. Prints "LEVEL dBFS" ("identical" when the files are equal) and exits
// 0; exits 1 when a file cannot be read or the two differ in channels, sample
// rate or length.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sounddiff A B\n");
        return 2;
    }
    SF_INFO a{}, b{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> fileA(sf_open(argv[1], SFM_READ, &a), sf_close);
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> fileB(sf_open(argv[2], SFM_READ, &b), sf_close);
    if (!fileA || !fileB) {
        std::fprintf(stderr, "sounddiff: cannot read %s\n", fileA ? argv[2] : argv[1]);
        return 1;
    }
    if (a.channels != b.channels || a.samplerate != b.samplerate || a.frames != b.frames) {
        std::fprintf(stderr, "sounddiff: %s has %d channels at %d Hz, %lld frames; %s %d at %d Hz, %lld frames\n",
                     argv[1], a.channels, a.samplerate, static_cast<long long>(a.frames), argv[2], b.channels,
                     b.samplerate, static_cast<long long>(b.frames));
        return 1;
    }
    constexpr sf_count_t block = 8192;
    std::vector<double> x(static_cast<std::size_t>(block * a.channels)), y(x.size());
    double largest = 0;
    for (sf_count_t got; (got = sf_readf_double(fileA.get(), x.data(), block)) > 0;) {
        if (sf_readf_double(fileB.get(), y.data(), got) != got) {
            std::fprintf(stderr, "sounddiff: cannot read %s\n", argv[2]);
            return 1;
        }
        for (std::size_t s = 0; s < static_cast<std::size_t>(got * a.channels); ++s)
            largest = std::fmax(largest, std::fabs(x[s] - y[s]));
    }
    if (largest > 0)
        std::printf("%.1f dBFS\n", 20 * std::log10(largest));
    else
        std::printf("identical\n");
    return 0;
}
