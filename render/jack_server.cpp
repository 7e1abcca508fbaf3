#include "jack_server.hpp"

#include <jack/jack.h>

namespace render {

namespace {

void silent(const char*) {}

}  // namespace

grain::Outcome<JackServer> findJackServer() {
    // libjack prints its errors and notes itself; Csound's JACK module, which
    // shares this libjack, then stays as quiet, and reports through Csound.
    jack_set_error_function(silent);
    jack_set_info_function(silent);
    jack_status_t status{};
    jack_client_t* client = jack_client_open("grainrender-probe", JackNoStartServer, &status);
    if (!client)
        return grain::because("no JACK server is running to play into: start one (jackd -d alsa), or under PipeWire "
                              "run grainrender through pw-jack");
    JackServer server;
    server.rate = static_cast<int>(jack_get_sample_rate(client));
    server.period = static_cast<int>(jack_get_buffer_size(client));
    // The sound card's (or the dummy driver's) ports that play: inputs of the physical client.
    if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput | JackPortIsPhysical)) {
        for (const char** port = ports; *port; ++port) ++server.playbackPorts;
        std::string first = ports[0];
        std::string stem = first.substr(0, first.find_last_not_of("0123456789") + 1);
        if (stem != first && first.substr(stem.size()) == "1") server.playback = stem;
        jack_free(ports);
    }
    jack_client_close(client);
    return server;
}

}  // namespace render
