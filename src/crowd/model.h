#pragma once
// What one simulation is made of: the model's parameters, the walkable area,
// the exits and the people. Everything in metres, seconds and kilograms.

#include <cstdint>
#include <string>
#include <vector>

#include "crowd/geometry.h"

namespace crowd {

// A social force model in the form of Helbing, Farkas and Vicsek (Nature 407,
// 2000), calibrated to measured crowds (door flows of laboratory bottlenecks,
// Weidmann's speed against density; docs/validation.md), with the numerical
// and navigation settings of this implementation. The settings of 2000 stay
// reachable: tau 0.5, A 2000, B 0.08, radii 0.25-0.35, headwayTime 0,
// fluctuation and nervousFluctuation 0.
struct ModelParams {
    // Relaxation time of the driving term, s. 0.5 in 2000; people leaving a
    // queue at a door then start too slowly for the measured door flows
    // (a 0.8 m door passed 1.0 instead of 1.3-1.6 persons/s).
    double tau = 0.3;
    // The exponential repulsion A exp((r - d) / B), N and m: a short-ranged
    // push at the body's edge. With the 2000 N and 0.08 m of 2000 the pushes
    // of those behind drive the flow of wide doors above the measured band
    // (2.1-2.3 persons per metre and second through 1.6 m and 2.4 m doors).
    double A = 1000.0;
    double B = 0.03;
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
    // the nearest person in one's path who walks one's way (the disc of the
    // other meets the body-wide strip along one's walking line: centre
    // within the two radii of it) as the walk left until the bodies touch,
    // and the desired speed of the driving term becomes min(v0, free distance
    // / headwayTime). This is the speed rule of the collision-free speed
    // model (Tordeux, Chraibi and Seyfried 2016: centre distance less the
    // body's diameter, over a time gap) and the continuous form of the
    // "respect" of Parisi, Gilman and Moldovan (2009): it gives the crowd
    // the falling speed-density relation that the forces alone, equal and
    // opposite between any two people, cannot give, and it keeps those
    // queueing at a door from pressing on it at full strength. 0.6 s puts
    // the mean speed in a corridor within 0.1 m/s of Weidmann's from 0.5 to
    // 4 /m^2. 0 switches it off (the plain model of 2000).
    double headwayTime = 0.6;
    // Who counts as in one's path for the headway: the other's centre within
    // this share of the two radii of one's walking line. Bodies are not
    // discs: shoulders turn, and in a bottleneck people walk half a body
    // aside of the one ahead, in lanes closer than a shoulder breadth (the
    // zip of Hoogendoorn and Daamen 2005). 0.55 with the stepping round below
    // brings inner doors of 1.2 to 2.4 m into the laboratory band; at 1 the
    // narrowest inner door held people in one file.
    double headwayWidth = 0.55;
    // Stepping round those ahead: one's walking direction turns away from
    // the people in front, after the direction rule of the collision-free
    // speed model (Tordeux, Chraibi and Seyfried 2016: e = normalise(e0 +
    // sum of R(gap) n_ij), n_ij from j to i). Here only the part of each
    // n_ij across one's way counts and only for the people ahead, so that
    // nobody turns back, and R(gap) = steerStrength (1 - gap / steerRange)^2
    // for a surface gap below steerRange (a polynomial in place of the
    // paper's exponential with its 0.1 m: the same fall over the first
    // decimetres, and a few multiplications in the pair loop). Without it
    // the shared shortest path lines people up in files behind one another
    // at a door or a corner, each file held to about one person a second by
    // the headway, and nothing spreads them over the width: an inner door of
    // 1.2 m passed 1.07 persons per second, the same door as an exit 2.2.
    // 0 switches it off.
    double steerStrength = 3.0;
    double steerRange = 0.4;  // m
    // Body radii are drawn uniformly from [min, max), m: half an adult's
    // shoulder breadth of about 0.40-0.50 m (Fruin's body ellipse is 0.46 m
    // across). 0.25-0.35 in 2000: those discs cover the floor at 3.5 /m^2,
    // where real crowds still move (Weidmann's jam density is 5.4 /m^2,
    // 86 % of the floor for discs of 0.225 m).
    double radiusMin = 0.2;
    double radiusMax = 0.25;
    // Fixed time step, s. The semi-implicit update is stable while omega dt
    // < 2 for every spring. Two bodies in contact (reduced mass m / 2) give
    // omega = sqrt(2k / m) = 55 /s, so omega dt = 0.55 at 10 ms; with the
    // exponential repulsion, stiffness (A / B) exp(overlap / B), on top the
    // limit is reached at 11 cm of overlap, while people keeping their
    // distance and pressing on a door overlap by 2 cm at most (the largest
    // dialog scenario: 396 people on 140 m^2). The friction
    // term acts like a damper of kappa * overlap per contact and is held per
    // body below its bound m / (2 dt) (see Forces::finish). The
    // results at 5 ms agree (door flow, speeds, evacuation times).
    double dt = 0.01;
    double speedCapFactor = 1.3;  // |v| <= factor * desired speed
    // Interaction range (centre distance), m. Beyond it the repulsion between
    // two bodies (surface gap over 0.7 m) is far below a newton and is left
    // out; the free distance ahead is looked for within it too (a walker at
    // 1.34 m/s needs 0.6 s x 1.34 m/s + 0.45 m = 1.25 m of it, and first
    // sees someone entering it ahead as 0.75 m of free way: 1.25 m/s).
    double cutoff = 1.2;
    // Navigation.
    double navCell = 0.1;      // grid cell of the distance fields, m
    double wallBand = 0.5;     // paths are made costlier within this distance of a wall, m
    double wallPenalty = 2.0;  // extra cost per metre right at a wall (fades to 0 at wallBand)
    double doorSnap = 1.5;  // an exit this close to a wall (or outside the area) opens the wall, m
    double pocketDepth = 1.0;     // walkable space kept behind an opened door, m
    double leaveDistance = 0.25;  // reaching an exit that is not in a wall, m
    // People leave by a door in a wall once this far beyond its line, m:
    // they walk on out of the door as the test persons of the laboratory
    // bottlenecks walked on into the open behind it, and those behind see
    // them ahead. Leaving on the line itself makes an exit pass more than
    // the same door inside a building (2.2 against 1.1 persons per second
    // through 1.2 m before the model turned people away from those ahead).
    double exitWalkOn = 0.6;
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
