#pragma once
// What one simulation is made of: the model's parameters, the walkable area,
// the exits and the people. Everything in metres, seconds and kilograms.

#include <cstdint>
#include <string>
#include <vector>

#include "crowd/geometry.h"

namespace crowd {

// The social force model of Helbing, Farkas and Vicsek (Nature 407, 2000),
// with the numerical and navigation settings of this implementation.
struct ModelParams {
    double tau = 0.5;      // relaxation time of the driving term, s
    double A = 2000.0;     // strength of the exponential repulsion, N
    double B = 0.08;       // range of the exponential repulsion, m
    double k = 1.2e5;      // body compression on contact, kg/s^2
    double kappa = 2.4e5;  // sliding friction on contact, kg/(m s)
    double mass = 80.0;    // kg
    // Anisotropy of the exponential repulsion (Helbing, Farkas, Molnar and
    // Vicsek 2002): a neighbour at angle phi from one's direction of motion
    // counts with weight lambda + (1 - lambda)(1 + cos phi) / 2, so someone
    // behind counts lambda, someone ahead 1. 1 is the isotropic force of 2000.
    double lambda = 1.0;
    // Keeping one's distance: nobody wants to walk faster than the free
    // distance ahead allows in this time, s. The free distance is measured to
    // the nearest person right in one's path (centre within l of the walking
    // line, l = half the two radii, about one body radius) as the walk left
    // until the centres are l apart, and the desired speed of the driving
    // term becomes min(v0, free distance / headwayTime). This is the speed
    // rule of the collision-free speed model (Tordeux, Chraibi and Seyfried
    // 2016; l about 0.3 m there too) and the continuous form of the
    // "respect" of Parisi, Gilman and Moldovan (2009): it gives the crowd
    // the falling speed-density relation that the forces alone, equal and
    // opposite between any two people, cannot give, and it keeps those
    // queueing at a door from pressing on it at full strength. 0 switches
    // it off (the plain model of 2000).
    double headwayTime = 0.5;
    double radiusMin = 0.25;  // body radii are drawn uniformly from [min, max), m
    double radiusMax = 0.35;
    // Fixed time step, s. The semi-implicit update is stable while omega dt
    // < 2 for every spring. Two bodies in contact (reduced mass m / 2) give
    // omega = sqrt(2k / m) = 55 /s, so omega dt = 0.55 at 10 ms; with the
    // exponential repulsion, stiffness (A / B) exp(overlap / B), on top the
    // limit is reached at some 0.3 m of overlap, while people keeping their
    // distance and pressing on a door overlap by 6 cm at most. The friction
    // term acts like a damper of kappa * overlap per contact and is held per
    // body below its bound m / (2 dt) (see Forces::finish). The
    // results at 5 ms agree (door flow, speeds, evacuation times).
    double dt = 0.01;
    double speedCapFactor = 1.3;  // |v| <= factor * desired speed
    // Interaction range (centre distance), m. Beyond it the repulsion between
    // two bodies (surface gap over 0.5 m) is below 4 N, a fiftieth of the
    // driving force, and is left out; the free distance ahead is looked for
    // within it too (enough for the headway of walkers, 0.5 s x 1.6 m/s +
    // 0.3 m; a jogger sees someone entering it ahead as 0.9 m of free way).
    double cutoff = 1.2;
    // Navigation.
    double navCell = 0.1;      // grid cell of the distance fields, m
    double wallBand = 0.5;     // paths are made costlier within this distance of a wall, m
    double wallPenalty = 2.0;  // extra cost per metre right at a wall (fades to 0 at wallBand)
    double doorSnap = 1.5;  // an exit this close to a wall (or outside the area) opens the wall, m
    double pocketDepth = 1.0;     // walkable space kept behind an opened door, m
    double leaveDistance = 0.25;  // reaching an exit that is not in a wall, m
    // The desired direction is looked up in the field every this many
    // seconds (it changes little over a few centimetres of walking).
    double directionInterval = 0.04;
    // Individual fluctuations: a random force, uniform in a disc of this
    // radius (N), drawn anew for everyone every fluctuationInterval seconds.
    // 50 N is a quarter of the driving force of a walker starting from rest
    // (80 kg x 1.34 m/s / 0.5 s); it grows toward nervousFluctuation for
    // someone who is getting nowhere.
    double fluctuation = 50.0;
    // The fluctuation of someone fully nervous, N: the walker pressing for
    // a door that does not move them gets a random push of up to this,
    // half again the driving force of a walker starting from rest (see
    // fluctuation.h). Without it an arch of three wedged
    // bodies across a 1 m door can stand for good.
    double nervousFluctuation = 300.0;
    double fluctuationInterval = 0.1;
};

enum class Role {
    Person,  // a person of a generic scenario
    Child,   // a child walking with its parent
    Parent,  // follows the child loaded just before it
    Adult,
    JoggingChild,  // a child on its own, jogging
};

const char* roleName(Role role);

struct PersonSpec {
    Vec2 start;
    double radius = 0.3;
    double desiredSpeed = 1.34;
    Role role = Role::Person;
    int exit = -1;    // index into exits; -1: the one with the shortest walk
    int leader = -1;  // for a follower: the person it follows
    // Seconds the person waits before walking off (noticing, deciding,
    // gathering things): until then no driving force and no fluctuation of
    // their own; others can still push them.
    double preMovement = 0.0;
};

struct ExitSpec {
    std::string name;
    Segment segment;  // the door, or the target line when it is not in a wall
    // Points whose neighbourhood also counts as leaving by this exit.
    std::vector<Vec2> leavePoints;
    double leavePointRadius = 0.0;
};

// A corridor that wraps around along x: what leaves at one end enters at the
// other. The area must then be the rectangle [x0, x0 + length] x [y0, y1]; its
// two long sides are the walls. People walk along `direction`; there are no
// exits.
struct Periodic {
    bool enabled = false;
    Vec2 direction{1.0, 0.0};
};

struct CrowdSetup {
    WalkableArea area;
    std::vector<ExitSpec> exits;
    std::vector<PersonSpec> people;
    ModelParams params;
    Periodic periodic;
    double timeLimit = 3600.0;  // simulated seconds
    std::uint64_t seed = 1;     // for the fluctuations
    // Threads for the forces, 1 to 64 (0: one per core, at most two). The
    // results do not depend on it.
    int threads = 0;
};

}  // namespace crowd
