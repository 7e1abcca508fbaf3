// The JACK server that grainrender --play plays into: whether one is running,
// and the sample rate and period it runs at, which the render takes on
// (Csound's JACK output wants the server's rate, and a ring buffer larger than
// its period). The sound itself goes through Csound's own JACK module; this
// only asks the server, and keeps libjack's own messages (a missing server is
// several lines of them) off the console, so that a run reports in its own words.
#pragma once

#include <string>

#include "outcome.hpp"

namespace render {

struct JackServer {
    int rate = 0;              // frames per second
    int period = 0;            // frames per period (the server's buffer size)
    std::string playback;      // the system's playback ports' common name, "system:playback_", when they are numbered
    int playbackPorts = 0;     // how many ports the system plays
};

// Asks the JACK server of the environment (JACK_DEFAULT_SERVER, or the
// default one) without starting one; why there is none to play into when
// none runs.
grain::Outcome<JackServer> findJackServer();

}  // namespace render
