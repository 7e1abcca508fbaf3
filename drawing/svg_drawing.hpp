// Pieces of the SVG pictures that flockpaths and scoreview draw: numbers
// written the same way on every machine, a colour for every voice (boid),
// plot frames with ticks, grid lines and labelled axes in their units, and a
// legend. Every label sits outside the plot area, so no path runs under one.
// Pictures are written whole or not at all.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "fixed_text.hpp"
#include "outcome.hpp"

namespace drawing {

// value with the given decimals, never "-0": the pictures' name for the one
// fixed-point text of the ground floor (fixed_text.hpp).
inline std::string fixed(double value, int decimals) { return grain::fixedText(value, decimals); }

// A coordinate of the drawing, in pixels with one decimal.
std::string px(double value);

// text with the characters that XML reserves written as entities.
std::string escaped(const std::string& text);

// Voices (boids) up to this number each have a colour of their own; further
// voices take the colours again from the first.
inline constexpr int voiceColours = 32;

// The colour of voice (or boid) number n, from 1, as #rrggbb: lightness as
// well as hue differ, so that any two of the first voiceColours are told
// apart at a glance.
std::string voiceColour(int n);

// A value axis: where a value lies between the ends, its ticks and its label.
struct Axis {
    double low = 0.0, high = 1.0;
    bool logarithmic = false;
    std::vector<double> ticks;
    int decimals = 0;       // of the tick labels
    std::string label;      // with the unit, "time (s)"
    // 0 at the low end, 1 at the high end; values beyond the ends are held there.
    double place(double value) const;
};

// A linear axis with about six ticks at steps of 1, 2 or 5 times a power of ten.
Axis linearAxis(double low, double high, std::string label);

// A linear axis with ticks at every step from low to high.
Axis steppedAxis(double low, double high, double step, std::string label);

// A logarithmic axis from low to high (both above 0), ticks at 1, 2 and 5
// times the powers of ten.
Axis logarithmicAxis(double low, double high, std::string label);

// A rectangle of the drawing in which values are plotted.
struct PlotArea {
    double left = 0.0, top = 0.0, width = 0.0, height = 0.0;
    double x(const Axis& axis, double value) const { return left + width * axis.place(value); }
    double y(const Axis& axis, double value) const { return top + height * (1.0 - axis.place(value)); }
};

// The frame of the area with grid lines at the ticks of both axes, the
// vertical axis' tick labels and label on the left and, when bottomLabels is
// set, the horizontal axis' tick labels and label beneath.
std::string plotFrame(const PlotArea& area, const Axis& horizontal, const Axis& vertical, bool bottomLabels);

// The opening of a picture width by height pixels: the svg element with its
// font, and a white background.
std::string svgStart(double width, double height);

// A legend: its title, then one line of colour and its name per entry, in
// columns of at most rows entries from (left, top).
std::string legend(double left, double top, const std::string& title,
                   const std::vector<std::pair<std::string, std::string>>& colourAndName, int rows);

// Width of one legend column.
inline constexpr double legendColumnWidth = 90.0;

// Writes the picture to file through a temporary name beside it, renamed
// when complete, so that a failure leaves no half-written picture. Done when
// the picture is in place, or what went wrong, naming the file.
grain::Outcome<> writePicture(const std::filesystem::path& file, const std::string& svg);

}  // namespace drawing
