// Decoding Ambisonics (AmbiX: ACN channel order, SN3D weights) to a speaker
// layout, all round: the sound field is sampled by a dense, even set of
// virtual speakers over the whole sphere (a product quadrature: Gauss-Legendre
// nodes in elevation, equal steps in azimuth), each virtual speaker's signal
// is the field's beam towards it with max-rE weights per order (the spread of
// energy as narrow as the order allows), and each is panned onto the layout
// by vector-base amplitude panning (vbap.hpp). The decoder is one matrix of
// gains, speakers by Ambisonic channels; LFE and silent channels get none.
#pragma once

#include <string>
#include <vector>

#include "layout.hpp"
#include "vbap.hpp"

namespace space {

// The real spherical harmonics of a direction up to an order, in ACN order
// with SN3D weights, as AmbiX encodes a plane wave from it.
std::vector<double> ambixHarmonics(Direction direction, int order);

// The max-rE weight of every order from 0 to order.
std::vector<double> maxReWeights(int order);

struct AmbisonicDecoder {
    int order = 0;
    std::vector<std::vector<double>> gains;  // [channel][ACN]: a channel's signal is the sum of gains times the components
};

// The decoder of an order (1 to 3) for a panning's layout. Its level: a
// plane wave of amplitude 1 reaches the speakers with unit power on average
// over all directions.
AmbisonicDecoder designDecoder(const Panning& panning, int order);

// The order of an Ambisonic signal of that many channels ((order+1)^2), 0 when none.
int ambisonicOrder(int channels);

}  // namespace space
