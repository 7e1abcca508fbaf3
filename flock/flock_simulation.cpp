#include "flock_simulation.hpp"

#include <algorithm>
#include <cmath>

#include "flock_random.hpp"

namespace flock {

namespace {

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
Vec3& operator+=(Vec3& a, Vec3 b) { return a = a + b; }
double length(Vec3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// The vector scaled to the given length; a zero vector stays zero.
Vec3 withLength(Vec3 a, double wanted) {
    double l = length(a);
    return l > 0.0 ? a * (wanted / l) : a;
}

// A direction spread evenly over the sphere (rejection from the cube).
Vec3 randomDirection(FlockRandom& random) {
    for (;;) {
        Vec3 v{random.between(-1.0, 1.0), random.between(-1.0, 1.0), random.between(-1.0, 1.0)};
        double l = length(v);
        if (l > 1e-3 && l <= 1.0) return v * (1.0 / l);
    }
}

struct Boid {
    Vec3 position;
    Vec3 velocity;
    Vec3 wander;  // the boid's own wish, a direction that drifts slowly
};

constexpr double neighbourRadius = 6.0;   // metres within which boids see each other
constexpr double personalSpace = 3.0;     // metres below which they push apart
constexpr double maxSteering = 8.0;       // metres per second squared
constexpr double longestStep = 0.01;      // seconds of flight per simulation step
constexpr double wanderDrift = 0.08;      // how far a wish turns in one step

// The steering of boid i from the flock rules, the bounds and its own wish.
Vec3 steering(const std::vector<Boid>& boids, std::size_t i, const FlockSettings& s) {
    const Boid& me = boids[i];
    Vec3 apart, heading, centre;
    int neighbours = 0;
    for (std::size_t j = 0; j < boids.size(); ++j) {
        if (j == i) continue;
        Vec3 offset = me.position - boids[j].position;
        double d = length(offset);
        if (d >= neighbourRadius) continue;
        ++neighbours;
        heading += boids[j].velocity;
        centre += boids[j].position;
        if (d < personalSpace && d > 0.0) apart += offset * (1.0 / (d * d));
    }
    Vec3 force;
    if (neighbours > 0) {
        double n = static_cast<double>(neighbours);
        force += apart * s.separation;
        force += (heading * (1.0 / n) - me.velocity) * s.alignment;
        force += (centre * (1.0 / n) - me.position) * (s.cohesion * 0.5);
    }
    force += me.wander * (s.wander * 4.0);
    if (length(force) > maxSteering) force = withLength(force, maxSteering);

    // The bounds are stronger than any wish: past the sphere a boid turns back
    // the harder the further out and the faster outwards it flies, and it
    // veers away from the listener.
    double d = length(me.position);
    if (d > 0.0) {
        Vec3 outwards = me.position * (1.0 / d);
        double radialSpeed = outwards.x * me.velocity.x + outwards.y * me.velocity.y + outwards.z * me.velocity.z;
        if (d > s.radius) {
            // A spring stiff enough to hold a boid that circles at full speed
            // (which needs maxSpeed^2 / radius), and a brake on outward flight.
            double stiffness = 4.0 + 8.0 * s.maxSpeed * s.maxSpeed / (s.radius * s.radius);
            double brake = radialSpeed > 0.0 ? radialSpeed * radialSpeed * 5.0 / s.radius : 0.0;
            double push = (d - s.radius) * stiffness + brake;
            force += outwards * -push;
        }
        double inner = std::min(listenerSpace * 2.0, s.radius * 0.5);
        if (d < inner) {
            double push = (inner - d) * 8.0 + (radialSpeed < 0.0 ? -radialSpeed * 8.0 : 0.0);
            force += outwards * push;
        }
    }
    return force;
}

void keepSpeed(Boid& boid, const FlockSettings& s, FlockRandom& random) {
    double speed = length(boid.velocity);
    if (speed <= 0.0) boid.velocity = randomDirection(random) * s.minSpeed;
    else if (speed > s.maxSpeed) boid.velocity = boid.velocity * (s.maxSpeed / speed);
    else if (speed < s.minSpeed) boid.velocity = boid.velocity * (s.minSpeed / speed);
}

}  // namespace

std::vector<BoidPath> simulateFlock(const FlockSettings& s) {
    FlockRandom random(s.seed);
    std::vector<Boid> boids(static_cast<std::size_t>(s.voices));
    // The flock starts as a loose cloud in front of the listener, everyone
    // heading roughly the same way.
    Vec3 centre = randomDirection(random) * (s.radius * 0.5);
    if (length(centre) < listenerSpace * 3.0) centre = Vec3{s.radius * 0.5, 0.0, 0.0};
    Vec3 heading = randomDirection(random);
    double cloud = s.radius * 0.25;
    for (Boid& b : boids) {
        // Two draws in one expression would come in an order each compiler
        // picks: the distance is drawn first, then the direction.
        double spread = random.between(0.0, cloud);
        b.position = centre + randomDirection(random) * spread;
        if (length(b.position) < listenerSpace * 2.0) b.position = withLength(b.position, listenerSpace * 2.0);
        if (length(b.position) < listenerSpace * 2.0) b.position = centre;
        Vec3 velocity = heading * 0.7 + randomDirection(random) * 0.3;
        b.velocity = withLength(velocity, random.between(s.minSpeed, s.maxSpeed));
        b.wander = randomDirection(random);
        keepSpeed(b, s, random);
    }

    int steps = static_cast<int>(std::ceil(s.interval / longestStep));
    if (steps < 1) steps = 1;
    double dt = s.interval / static_cast<double>(steps);

    std::vector<BoidPath> paths(boids.size());
    for (BoidPath& p : paths) {
        p.positions.reserve(static_cast<std::size_t>(s.samples));
        p.heard.reserve(static_cast<std::size_t>(s.samples));
    }
    std::vector<Vec3> forces(boids.size());
    for (int k = 0; k < s.samples; ++k) {
        for (std::size_t i = 0; i < boids.size(); ++i) {
            paths[i].positions.push_back(boids[i].position);
            paths[i].heard.push_back(listenerAngles(boids[i].position));
        }
        if (k + 1 == s.samples) break;
        for (int step = 0; step < steps; ++step) {
            for (Boid& b : boids) b.wander = withLength(b.wander + randomDirection(random) * wanderDrift, 1.0);
            for (std::size_t i = 0; i < boids.size(); ++i) forces[i] = steering(boids, i, s);
            for (std::size_t i = 0; i < boids.size(); ++i) {
                boids[i].velocity += forces[i] * dt;
                keepSpeed(boids[i], s, random);
                boids[i].position += boids[i].velocity * dt;
            }
        }
    }
    return paths;
}

}  // namespace flock
