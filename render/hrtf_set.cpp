#include "hrtf_set.hpp"

#include <mysofa.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "resample.hpp"
#include "sound_files.hpp"

namespace fs = std::filesystem;

namespace render {

namespace {

using Sofa = std::unique_ptr<MYSOFA_HRTF, void (*)(MYSOFA_HRTF*)>;

// The index of the measurement whose direction is nearest to the speaker's:
// the largest cosine between them, the first of equals. Source positions are
// Cartesian (x ahead, y left, z up); the scores' azimuth turns clockwise.
unsigned nearestMeasurement(const MYSOFA_HRTF& hrtf, const space::Direction& direction) {
    const double degrees = std::acos(-1.0) / 180;
    const double az = direction.azimuth * degrees, el = direction.elevation * degrees;
    const double want[3] = {std::cos(el) * std::cos(az), -std::cos(el) * std::sin(az), std::sin(el)};
    unsigned best = 0;
    double bestCosine = -2;
    for (unsigned m = 0; m < hrtf.M; ++m) {
        const float* p = hrtf.SourcePosition.values + 3 * m;
        double length = std::sqrt(double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2]);
        if (length <= 0) continue;
        double cosine = (want[0] * p[0] + want[1] * p[1] + want[2] * p[2]) / length;
        if (cosine > bestCosine) {
            bestCosine = cosine;
            best = m;
        }
    }
    return best;
}

// The delay of measurement m at receiver r in samples (DataDelay holds one
// per receiver, or one per measurement and receiver).
unsigned delayOf(const MYSOFA_HRTF& hrtf, unsigned m, unsigned r) {
    const MYSOFA_ARRAY& delay = hrtf.DataDelay;
    float samples = 0;
    if (delay.elements == hrtf.R * hrtf.M) samples = delay.values[m * hrtf.R + r];
    else if (delay.elements >= hrtf.R) samples = delay.values[r];
    return samples > 0 ? static_cast<unsigned>(std::lround(samples)) : 0;
}

}  // namespace

std::string hrtfTableName(std::size_t speaker) { return "hrtf-" + std::to_string(speaker + 1) + ".w64"; }

grain::Outcome<> writeHrtfTables(const std::string& sofaPath, const std::vector<space::Direction>& directions, int rate,
                            const std::string& folder) {
    int error = 0;
    Sofa hrtf(mysofa_load(sofaPath.c_str(), &error), mysofa_free);
    if (!hrtf || error != MYSOFA_OK)
        return grain::because("the HRTF set " + sofaPath + " is no SOFA file libmysofa can read (error " +
                              std::to_string(error) + ")");
    if ((error = mysofa_check(hrtf.get())) != MYSOFA_OK)
        return grain::because("the HRTF set " + sofaPath +
                              " is not a set of head-related impulse responses (SimpleFreeFieldHRIR) "
                              "(libmysofa's error " + std::to_string(error) + ")");
    if (hrtf->R != 2 || hrtf->M == 0 || hrtf->N == 0 || hrtf->DataSamplingRate.elements < 1)
        return grain::because("the HRTF set " + sofaPath + " does not hold impulse responses for two ears");
    const int setRate = static_cast<int>(std::lround(hrtf->DataSamplingRate.values[0]));
    if (setRate < 8000 || setRate > 384000)
        return grain::because("the HRTF set " + sofaPath + " is at " + std::to_string(setRate) +
                              " Hz, not a sample rate of sound");
    // The level as libmysofa's own renderers hear the set: a source ahead at unit level.
    mysofa_loudness(hrtf.get());
    mysofa_tocartesian(hrtf.get());
    // Receiver 1 is the left ear where it lies left (y > 0), as SOFA has it; otherwise the ears swap.
    const float* receivers = hrtf->ReceiverPosition.values;
    const bool swapped = hrtf->ReceiverPosition.elements >= 6 && receivers[1] < receivers[4];
    // Taps converted to another rate are scaled by the ratio, so that the filter's gain stays.
    const float scale = static_cast<float>(static_cast<double>(setRate) / rate);

    for (std::size_t k = 0; k < directions.size(); ++k) {
        unsigned m = nearestMeasurement(*hrtf, directions[k]);
        unsigned delays[2] = {delayOf(*hrtf, m, 0), delayOf(*hrtf, m, 1)};
        unsigned frames = hrtf->N + std::max(delays[0], delays[1]);
        std::vector<float> pair(2 * std::size_t{frames}, 0.0f);
        for (unsigned ear = 0; ear < 2; ++ear) {
            unsigned receiver = swapped ? 1 - ear : ear;
            const float* taps = hrtf->DataIR.values + (std::size_t{m} * hrtf->R + receiver) * hrtf->N;
            for (unsigned n = 0; n < hrtf->N; ++n)
                pair[2 * (n + delays[receiver]) + ear] = taps[n] * (setRate == rate ? 1.0f : scale);
        }
        const std::string path = (fs::path(folder) / hrtfTableName(k)).string();
        if (setRate == rate) {
            if (auto written = writeTableFile(path, pair, 2, rate); !written) return written;
            continue;
        }
        const std::string measured = path + ".measured";
        grain::Outcome<> written = writeTableFile(measured, pair, 2, setRate);
        if (written) written = resampleSoundFile(measured, path, rate);
        std::error_code ignored;
        fs::remove(measured, ignored);
        if (!written) return written;
    }
    return grain::Done{};
}

}  // namespace render
