// Vector-base amplitude panning onto a layout's speakers. The speakers'
// directions are cut into cells: in a ring (all speakers at one elevation)
// the arcs between neighbours, over a dome or sphere the triangles of the
// convex hull of their directions. A grain's gains are those of the cell it
// lies in: the three (or two) numbers g with g1 l1 + g2 l2 + g3 l3 pointing
// at the grain, l the corners' directions, scaled to unit power.
//
// Where the layout leaves a hole (nothing below, nothing overhead, a face of
// four or more speakers in one plane), an imaginary speaker fills it: it
// takes part in the triangles like a real one, and its share is passed on to
// the real speakers it borders, each 1/sqrt(n) of it for n neighbours, so
// that a grain at the imaginary speaker keeps its power. The power of every
// cell's gains is taken after that sharing: the panning keeps constant power
// throughout. A ring that does not close (a frontal array) pans a grain
// outside it to the nearer end.
//
// The orchestra does the same per grain from the cells written as Csound
// macros (panningMacros, examples/space-pan.inc): it adds the grain to its
// cell's three bus channels, the speakers' channels then the imaginary
// speakers', and shares the imaginary ones out once per cycle. Working the
// gains out per grain would cost it more than all its sound (Csound prepares
// every opcode of a note, taken or not, and a search of the cells takes a
// hundred), so the orchestra reads them from a grid of directions half a
// degree apart (panningGrid): a grain sounds at most a quarter of a degree
// from where the cells would put it, as far as it moves before its gains
// are read again.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "layout.hpp"
#include "outcome.hpp"

namespace space {

// A cell of the panning: a triangle of three corners (in a ring the third is
// overhead and never sounds; a corner may stand for an end of a frontal array).
struct PanCell {
    std::array<int, 3> bus{};           // each corner's bus channel
    std::array<double, 9> inverse{};    // row by row, the inverse of the matrix whose columns are the corners' unit vectors
    std::array<double, 9> power{};      // row by row: the power of corner gains g is g' P g once they reach the speakers
};

struct Panning {
    int channels = 0;                 // the layout's channels, LFE and silent ones included
    bool ring = false;                // one elevation: only the grain's azimuth counts
    std::vector<Direction> imaginary; // the imaginary speakers; bus channel channels + k is the k-th
    std::vector<std::vector<double>> spread;  // for each imaginary speaker, its share of every channel (amplitude)
    std::vector<PanCell> cells;       // searched in order: a grain takes the first cell it lies in
    std::vector<std::array<int, 3>> triangles;  // the hull's triangles, as bus channels (none for a ring)
};

// The panning of a layout: a ring's arcs, or the triangulated hull with its
// imaginary speakers; or why the layout cannot be panned onto ("channels 2
// and 5 stand at the same direction", "its speakers cannot be cut into
// triangles").
grain::Outcome<Panning> designPanning(const Layout& layout);

// Two speakers of a layout, by channel from 1, the first before the second.
struct SpeakerPair {
    int first = 0;
    int second = 0;
};

// The first two speakers that stand at one direction, which no panning can
// tell apart (the second is the one a composer would move); nothing when
// every speaker stands apart. designPanning refuses such a layout.
std::optional<SpeakerPair> speakersAtOneDirection(const Layout& layout);

// The gains of every channel of the layout for a grain from a direction:
// unit power, LFE and silent channels 0.
std::vector<double> panGains(const Panning& panning, Direction direction);

// The panning of directions gridSteps to the degree apart, for the
// orchestra's table PAN_GRID: row by row of elevation from -90 to 90
// degrees, each row the azimuths from 0 up to 360 (a ring's rows are all its
// ear-height row); for each direction six numbers: its cell's three corners
// as bus channels, then their gains at unit power (panGains before the
// imaginary speakers are shared out).
inline constexpr int gridSteps = 2;
inline constexpr int gridAzimuths = 360 * gridSteps;
inline constexpr int gridElevations = 180 * gridSteps + 1;
std::vector<float> panningGrid(const Panning& panning);

// The panning as Csound macros for examples/space-pan.inc: PAN_CHANNELS,
// PAN_BUS, PAN_SPREAD, PAN_GRID_STEPS (gridSteps), and PAN_GRID, the file gridFile that holds
// panningGrid as raw 32-bit floats (see there).
std::string panningMacros(const Panning& panning, const std::string& gridFile);

}  // namespace space
