// The same work done the plain stdio way, as a yardstick for the benchmark:
// every coordinate value read with fscanf "%f", every statement written with
// one fprintf of "%f" fields.
#pragma once

#include <filesystem>
#include <vector>

// Reads the three coordinate files of voices 1 to statementsPerVoice.size()
// from coordinates (at most samples values each) and writes
// statementsPerVoice[v - 1] statements of fields p-fields for voice v into
// score.
void plainStdioRun(const std::filesystem::path& coordinates, const std::vector<long long>& statementsPerVoice,
                   int fields, int samples, const std::filesystem::path& score);
