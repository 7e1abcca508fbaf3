// One part of a score rendered by a Csound instance of its own, into a part
// file, or played into a JACK server as it renders. Csound's messages are
// read line by line as they come: an error or a WARNING ends the part and asks
// the other parts to stop, and its lines are kept for the composer (JACK's
// under-runs are counted instead). Several parts may render at once, one per
// thread.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "part_label.hpp"
#include "sound_files.hpp"

namespace render {

// How a part plays into a JACK server as it renders (grainrender --play),
// through Csound's own JACK output: one port per channel.
struct PlayTarget {
    bool enabled = false;
    std::string connect;     // the start of the names of the ports to connect to; empty: the system's playback ports
    bool noConnect = false;  // leave the ports unconnected
    int period = 0;          // the server's period in frames: Csound's ring buffer holds several
};

struct PartJob {
    std::string orchestraText;    // the orchestra's code
    std::string orchestraFolder;  // where its include files are (Csound's INCDIR)
    std::string soundFolder;      // where the score's sound file is (Csound's SSDIR)
    std::string scoreText;        // the part's score
    std::string space;            // the technique's include, the orchestra's SPACE macro (spaceMacro)
    std::string panning;          // the layout's panning written for space-layout.inc (PANNING macro), or empty
    int rate = 0;                 // sample rate; 0 keeps the orchestra's
    std::vector<std::string> macros;  // further macros of the orchestra, NAME=value (WINDOW=hann, DOPPLER=0, HRTF_TABLES=...)
    std::string outPath;          // the part file (float W64); empty: none (a part that only plays)
    PartLabel label;              // what the part file records; the rate is filled in as Csound starts
    PlayTarget play;              // offline (not enabled), or into JACK in real time
};

// How a part ended: rendered whole, stopped early (another part failed, or
// the composer stopped the run), or failed with its problems.
enum class PartEnd { rendered, stopped, failed };

struct PartOutcome {
    PartEnd end = PartEnd::failed;
    std::vector<std::string> problems;  // failed: Csound's error and WARNING lines, or why the file failed
    SoundSummary sound;                 // what the part file holds, gathered as it was written
    int underruns = 0;                  // times JACK reported an under-run while the part played
};

// Prepares the Csound library for instances in threads and keeps its opcode
// libraries loaded; call before any part (later calls do nothing).
void initialiseCsound();

// The sample rate the job renders at: its own, or the orchestra's (0 when
// the orchestra does not compile). Call after initialiseCsound.
int renderRate(const PartJob& job);

// Renders the part. Sets stop when it fails; ends early when stop is set.
// scoreTime follows the score time rendered so far, seconds.
PartOutcome renderPart(const PartJob& job, std::atomic<bool>& stop, std::atomic<double>& scoreTime);

}  // namespace render
