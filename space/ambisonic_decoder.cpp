#include "ambisonic_decoder.hpp"

#include <cmath>
#include <numbers>

namespace space {

namespace {

constexpr double pi = std::numbers::pi;
constexpr int elevationNodes = 24;  // Gauss-Legendre nodes: exact for harmonics' products far beyond third order
constexpr int azimuthSteps = 48;

// The Legendre polynomial of degree n and its nodes, by Newton's method.
double legendre(int n, double x, double& derivative) {
    double p0 = 1, p1 = x;
    for (int k = 2; k <= n; ++k) {
        double p2 = ((2 * k - 1) * x * p1 - (k - 1) * p0) / k;
        p0 = p1;
        p1 = p2;
    }
    derivative = n * (x * p1 - p0) / (x * x - 1);
    return p1;
}

struct Node {
    double x, weight;
};

std::vector<Node> gaussLegendre(int n) {
    std::vector<Node> nodes;
    for (int k = 1; k <= n; ++k) {
        double x = std::cos(pi * (k - 0.25) / (n + 0.5)), derivative = 0;
        for (int step = 0; step < 100; ++step) {
            double dx = legendre(n, x, derivative) / derivative;
            x -= dx;
            if (std::fabs(dx) < 1e-15) break;
        }
        legendre(n, x, derivative);
        nodes.push_back({x, 2 / ((1 - x * x) * derivative * derivative)});
    }
    return nodes;
}

double factorial(int n) { return n <= 1 ? 1 : n * factorial(n - 1); }

}  // namespace

std::vector<double> ambixHarmonics(Direction direction, int order) {
    // AmbiX counts azimuth anticlockwise: ours turned round.
    double azimuth = -direction.azimuth * pi / 180, elevation = direction.elevation * pi / 180;
    double s = std::sin(elevation), c = std::cos(elevation);
    std::vector<double> y(static_cast<std::size_t>((order + 1) * (order + 1)), 0.0);
    for (int n = 0; n <= order; ++n)
        for (int m = 0; m <= n; ++m) {
            // associated Legendre function P_n^m(s) without the Condon-Shortley phase
            double pmm = 1;
            for (int k = 1; k <= m; ++k) pmm *= (2 * k - 1) * c;
            double p = pmm;
            if (n > m) {
                double previous = pmm, current = s * (2 * m + 1) * pmm;
                for (int l = m + 2; l <= n; ++l) {
                    double next = ((2 * l - 1) * s * current - (l + m - 1) * previous) / (l - m);
                    previous = current;
                    current = next;
                }
                p = current;
            }
            double norm = std::sqrt((m == 0 ? 1.0 : 2.0) * factorial(n - m) / factorial(n + m));
            y[static_cast<std::size_t>(n * n + n + m)] = norm * p * std::cos(m * azimuth);
            if (m > 0) y[static_cast<std::size_t>(n * n + n - m)] = norm * p * std::sin(m * azimuth);
        }
    return y;
}

std::vector<double> maxReWeights(int order) {
    // the largest root of the Legendre polynomial of degree order + 1, well approximated
    double angle = 137.9 * pi / 180 / (order + 1.51);
    std::vector<double> weights;
    for (int n = 0; n <= order; ++n) {
        double derivative = 0;
        weights.push_back(n == 0 ? 1.0 : legendre(n, std::cos(angle), derivative));
    }
    return weights;
}

int ambisonicOrder(int channels) {
    for (int order = 1; order <= 3; ++order)
        if (channels == (order + 1) * (order + 1)) return order;
    return 0;
}

AmbisonicDecoder designDecoder(const Panning& panning, int order) {
    AmbisonicDecoder decoder;
    decoder.order = order;
    const std::size_t components = static_cast<std::size_t>((order + 1) * (order + 1));
    decoder.gains.assign(static_cast<std::size_t>(panning.channels), std::vector<double>(components, 0.0));
    std::vector<double> weights = maxReWeights(order);
    // The beam towards a virtual speaker at direction v from a field b encoded
    // with SN3D: sum over n of (2n+1) w_n sum over m of Y_nm(v) b_nm, since the
    // sum over m of Y_nm(v) Y_nm(u) is P_n(cos angle(u, v)) in SN3D.
    for (const Node& node : gaussLegendre(elevationNodes)) {
        double elevation = std::asin(node.x) * 180 / pi;
        for (int step = 0; step < azimuthSteps; ++step) {
            Direction virtualSpeaker{360.0 * step / azimuthSteps, elevation};
            std::vector<double> y = ambixHarmonics(virtualSpeaker, order);
            std::vector<double> pan = panGains(panning, virtualSpeaker);
            double share = node.weight / 2 / azimuthSteps;  // the quadrature's weights sum to 1
            for (std::size_t c = 0; c < pan.size(); ++c) {
                if (pan[c] == 0) continue;
                for (int n = 0; n <= order; ++n)
                    for (int m = -n; m <= n; ++m) {
                        auto acn = static_cast<std::size_t>(n * n + n + m);
                        decoder.gains[c][acn] += share * pan[c] * (2 * n + 1) * weights[static_cast<std::size_t>(n)] * y[acn];
                    }
            }
        }
    }
    // The level: unit power on average over the sphere, by the same quadrature.
    double power = 0;
    for (const Node& node : gaussLegendre(elevationNodes)) {
        double elevation = std::asin(node.x) * 180 / pi;
        for (int step = 0; step < azimuthSteps; ++step) {
            std::vector<double> y = ambixHarmonics({360.0 * step / azimuthSteps, elevation}, order);
            for (const auto& row : decoder.gains) {
                double g = 0;
                for (std::size_t a = 0; a < components; ++a) g += row[a] * y[a];
                power += node.weight / 2 / azimuthSteps * g * g;
            }
        }
    }
    if (power > 0)
        for (auto& row : decoder.gains)
            for (auto& g : row) g /= std::sqrt(power);
    return decoder;
}

}  // namespace space
