// The picture of a score: one SVG drawing, the same bytes for the same score,
// with no reference to anything outside it. Panels one above the other share
// the time axis in seconds. The top panel holds the grains, one short stroke
// per grain statement from its start over its grain duration, one colour per
// voice, the stroke's thickness growing with the grain duration: a glisson
// runs from its start to its end frequency on a logarithmic frequency axis,
// a granule grain lies at its play position in the sound file, an additive
// grainlet at its partial's frequency. Beneath, the azimuth and the elevation
// of every voice over time, each grain a stroke from the previous grain's
// position to its own, fainter the further away the grain is. A legend names
// the voices; the title gives the file name, the program and the counts.
//
// A picture shows no more detail than it can: a voice with more grains than
// its share of pixel columns is drawn column by column, each column a stroke
// over the extremes of the grains that fall into it (and, beneath, of their
// positions, as faint as the nearest of them), which looks the same at a
// glance. The shares come from one budget of columns for all voices, so that
// any score's picture stays a few megabytes at most.
#pragma once

#include <string>

#include "score_reader.hpp"

namespace scoreview {

// The scores as the strict reader of the ground floor reads them.
using grain::GrainStatement;
using grain::ScoreReading;

// Grains a picture draws one by one, all its voices together; each voice has
// an equal share, and a voice of more grains is drawn in as many columns as
// its share, two per pixel of the time axis at most.
inline constexpr int pictureColumnBudget = 24000;

// The SVG text of a sound reading (no problems); name is the score's file
// name. columnBudget: see pictureColumnBudget.
std::string scorePicture(const ScoreReading& reading, const std::string& name,
                         int columnBudget = pictureColumnBudget);

}  // namespace scoreview
