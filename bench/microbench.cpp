// Micro-benchmarks of the two number conversions a run spends its time in:
// formatting reals like "%f" and reading the coordinate files.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "coordinate_files.hpp"
#include "decimal_reader.hpp"
#include "real_format.hpp"
#include "score_writer.hpp"

namespace {

// Values like those of a grain statement: times, angles, distances and
// frequencies.
std::vector<float> statementValues() {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> time(0.0f, 200.0f), angle(-90.0f, 360.0f), distance(0.0f, 40.0f),
        frequency(100.0f, 10000.0f);
    std::vector<float> values;
    for (int i = 0; i < 4096; ++i) {
        values.push_back(time(random));
        values.push_back(angle(random));
        values.push_back(distance(random));
        values.push_back(frequency(random));
    }
    return values;
}

void formatRealOfFloats(benchmark::State& state) {
    auto values = statementValues();
    char text[grain::maxDoubleTextLength];
    for (auto _ : state)
        for (float v : values) {
            benchmark::DoNotOptimize(grain::formatReal(text, v));
            benchmark::ClobberMemory();
        }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(values.size()));
}
BENCHMARK(formatRealOfFloats);

void snprintfOfFloats(benchmark::State& state) {
    auto values = statementValues();
    char text[grain::maxDoubleTextLength];
    for (auto _ : state)
        for (float v : values) {
            benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%f", static_cast<double>(v)));
            benchmark::ClobberMemory();
        }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(values.size()));
}
BENCHMARK(snprintfOfFloats);

void toCharsOfFloats(benchmark::State& state) {
    auto values = statementValues();
    char text[grain::maxDoubleTextLength];
    for (auto _ : state)
        for (float v : values) {
            benchmark::DoNotOptimize(
                std::to_chars(text, text + sizeof text, static_cast<double>(v), std::chars_format::fixed, 6).ptr);
            benchmark::ClobberMemory();
        }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(values.size()));
}
BENCHMARK(toCharsOfFloats);

void formatEventStatements(benchmark::State& state) {
    auto values = statementValues();
    std::vector<char> text(grain::maxStatementLength);
    std::size_t i = 0;
    for (auto _ : state) {
        grain::GrainEvent e;
        e.srt = values[i % values.size()];
        e.dur = 0.02f;
        e.voice = 17;
        e.phase = 0.563585f;
        e.aziOld = values[(i + 1) % values.size()];
        e.azi = values[(i + 5) % values.size()];
        e.elevOld = values[(i + 2) % values.size()];
        e.elev = values[(i + 6) % values.size()];
        e.distOld = values[(i + 3) % values.size()];
        e.dist = values[(i + 7) % values.size()];
        e.grainDur = 0.01f;
        e.own = {values[(i + 4) % values.size()], values[(i + 8) % values.size()]};
        benchmark::DoNotOptimize(grain::formatEvent(text.data(), grain::Program::glisson, e));
        benchmark::ClobberMemory();
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(formatEventStatements);

// Coordinate texts as a boid's file holds them, one per line.
std::string coordinateText(int count) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> angle(-180.0f, 180.0f);
    std::string text;
    char number[grain::maxDoubleTextLength];
    for (int i = 0; i < count; ++i) {
        text.append(number, grain::formatReal(number, angle(random)));
        text += '\n';
    }
    return text;
}

void parseRealOfCoordinates(benchmark::State& state) {
    std::string text = coordinateText(4096);
    for (auto _ : state) {
        const char* p = text.data();
        const char* last = p + text.size();
        while (p != last) {
            grain::RealParse parse = grain::parseReal(p, last);
            benchmark::DoNotOptimize(parse.value);
            p = parse.end + 1;
        }
    }
    state.SetItemsProcessed(state.iterations() * 4096);
}
BENCHMARK(parseRealOfCoordinates);

void strtofOfCoordinates(benchmark::State& state) {
    std::string text = coordinateText(4096);
    for (auto _ : state) {
        const char* p = text.data();
        for (int i = 0; i < 4096; ++i) {
            char* end = nullptr;
            benchmark::DoNotOptimize(std::strtof(p, &end));
            p = end + 1;
        }
    }
    state.SetItemsProcessed(state.iterations() * 4096);
}
BENCHMARK(strtofOfCoordinates);

void fromCharsOfCoordinates(benchmark::State& state) {
    std::string text = coordinateText(4096);
    for (auto _ : state) {
        const char* p = text.data();
        const char* last = p + text.size();
        while (p != last) {
            float value = 0.0f;
            auto result = std::from_chars(p, last, value);
            benchmark::DoNotOptimize(value);
            p = result.ptr + 1;
        }
    }
    state.SetItemsProcessed(state.iterations() * 4096);
}
BENCHMARK(fromCharsOfCoordinates);

// The batch reading alone: three texts of 4096 values read side by side,
// in vectors (where the processor has them) and in words.
void commonRealsOfCoordinates(benchmark::State& state, grain::CommonRealsPath path) {
    std::string texts[3] = {coordinateText(4096), coordinateText(4096), coordinateText(4096)};
    for (auto& text : texts) text.append(grain::commonRealLookahead + 1, '\n');
    std::vector<float> values(3 * 4096);
    for (auto _ : state) {
        grain::CommonRealsText batch[3];
        for (int i = 0; i < 3; ++i)
            batch[i] = {texts[i].data(), texts[i].data() + texts[i].size(), values.data() + i * 4096, 0, 4096};
        grain::parseCommonReals(batch, 3, path);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * 3 * 4096);
}
BENCHMARK_CAPTURE(commonRealsOfCoordinates, inVectors, grain::CommonRealsPath::fastest);
BENCHMARK_CAPTURE(commonRealsOfCoordinates, inWords, grain::CommonRealsPath::words);

// A whole voice: three files of 20000 values read into the trajectory.
void loadTrajectoryOfVoice(benchmark::State& state) {
    namespace fs = std::filesystem;
    fs::path folder = fs::temp_directory_path() / ("grainmicrobench-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    std::string text = coordinateText(grain::trajectoryCapacity);
    for (char letter : {'a', 'e', 'd'}) {
        std::FILE* file = std::fopen(grain::coordinateFilePath(folder, 1, letter).string().c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    auto trajectory = std::make_unique<grain::Trajectory>();
    std::ostringstream console;
    for (auto _ : state) {
        grain::printLoadMessages(console, 1, grain::loadTrajectory(1, *trajectory, folder));
        console.str({});
        benchmark::DoNotOptimize(trajectory->sampleCount);
    }
    state.SetItemsProcessed(state.iterations() * 3 * grain::trajectoryCapacity);
    state.SetBytesProcessed(state.iterations() * 3 * static_cast<long long>(text.size()));
    fs::remove_all(folder);
}
BENCHMARK(loadTrajectoryOfVoice);

}  // namespace

BENCHMARK_MAIN();
