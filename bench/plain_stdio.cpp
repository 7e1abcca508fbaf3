#include "plain_stdio.hpp"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "coordinate_names.hpp"

void plainStdioRun(const std::filesystem::path& coordinates, const std::vector<long long>& statementsPerVoice,
                   int fields, int samples, const std::filesystem::path& score) {
    std::vector<float> a(static_cast<std::size_t>(samples)), e(a.size()), d(a.size());
    std::FILE* out = std::fopen(score.string().c_str(), "w");
    if (out == nullptr) throw std::runtime_error("cannot create " + score.string());
    for (std::size_t v = 1; v <= statementsPerVoice.size(); ++v) {
        const auto voice = static_cast<long long>(v);
        std::FILE* fa = std::fopen(grain::coordinateFilePath(coordinates, voice, 'a').string().c_str(), "r");
        std::FILE* fe = std::fopen(grain::coordinateFilePath(coordinates, voice, 'e').string().c_str(), "r");
        std::FILE* fd = std::fopen(grain::coordinateFilePath(coordinates, voice, 'd').string().c_str(), "r");
        if (fa == nullptr || fe == nullptr || fd == nullptr)
            throw std::runtime_error("missing files of voice " + std::to_string(v));
        int count = 0;
        while (count < samples) {
            if (std::fscanf(fa, "%f", &a[static_cast<std::size_t>(count)]) != 1) break;
            if (std::fscanf(fe, "%f", &e[static_cast<std::size_t>(count)]) != 1) break;
            if (std::fscanf(fd, "%f", &d[static_cast<std::size_t>(count)]) != 1) break;
            ++count;
        }
        std::fclose(fa);
        std::fclose(fe);
        std::fclose(fd);
        if (count < 2) continue;

        float clock = 0.0f, grainDur = 0.01f, phase = 0.5f;
        for (long long g = 0; g < statementsPerVoice[v - 1]; ++g) {
            auto i = static_cast<std::size_t>(g % (count - 1));
            double srt = clock, dur = 2.0f * grainDur;
            if (fields == 14)
                std::fprintf(out, "i1\t %f\t %f\t %d\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\n", srt, dur,
                             static_cast<int>(v), double(phase), double(a[i]) + 180, double(a[i + 1]) + 180,
                             double(e[i]), double(e[i + 1]), double(d[i]), double(d[i + 1]), double(grainDur),
                             double(e[i]) * 50 + 4600, double(e[i + 1]) * 50 + 4600);
            else
                std::fprintf(out, "i1\t %f\t %f\t %d\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\n", srt, dur,
                             static_cast<int>(v), double(phase), double(a[i]) + 180, double(a[i + 1]) + 180,
                             double(e[i]), double(e[i + 1]), double(d[i]), double(d[i + 1]), double(grainDur),
                             100.0 * double(v));
            clock = static_cast<float>(double(clock) + grainDur);
        }
    }
    std::fclose(out);
}
