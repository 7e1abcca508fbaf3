// A set of head-related impulse responses from a SOFA file (AES69), read
// with libmysofa, as the binaural technique hears its virtual speakers: for
// each speaker's direction the measured pair (left ear, right ear) nearest to
// it, at the render's sample rate. Directions beyond what the set measured
// (below its lowest elevation, say) take the nearest measured one.
//
// grainrender writes each pair as a two-channel sound file (channel 1 the
// left ear) into a folder of its own for the render, hrtf-1.w64 for the
// first speaker and so on; the orchestra loads them into tables and
// convolves each speaker's bus with its pair once per render (HRTF_TABLES).
// The pairs keep the set's level as libmysofa normalises it (a source ahead
// at unit level); a pair converted to another rate keeps its frequency
// response (libsamplerate's best sinc converter, the taps scaled by the
// ratio of the rates).
#pragma once

#include <string>
#include <vector>

#include "layout.hpp"
#include "outcome.hpp"

namespace render {

// The SOFA file binaural renders hear when none is named: the MIT KEMAR
// dummy head's measurements that Debian's libmysofa ships.
inline const std::string defaultSofaFile = "/usr/share/libmysofa/default.sofa";

// The virtual speakers of binaural when it hears a SOFA set: a speaker file
// beside the orchestra, which grainrender reads and pans onto as onto a
// layout's speakers.
inline const std::string virtualSpeakerFile = "sphere.speakers";

// How late binaural's output comes, at most, when it hears a SOFA set: the
// orchestra convolves in partitions of 8 to 16 ms (about 11.6 at 44.1 kHz),
// so a render keeps going this much past its last grain.
inline constexpr double hrtfLateness = 0.02;  // s

// The file of speaker k (from 0) in the folder of the pairs.
std::string hrtfTableName(std::size_t speaker);

// Writes the pair nearest to each direction, at rate, into folder; why not
// when it could not ("the HRTF set X is no SOFA file ...").
grain::Outcome<> writeHrtfTables(const std::string& sofaPath, const std::vector<space::Direction>& directions, int rate,
                            const std::string& folder);

}  // namespace render
