#pragma once
// Where each person wants to go and how fast: the direction from the
// navigation field of their exit (looked up every few steps), and for a
// family (a parent following its child) what keeps it together: the parent
// drifts toward the child with a little extra speed to catch up and, once
// the child is out, goes out by the child's exit; the child holds back for a
// parent that lags and turns to meet one that is far; and the two hold hands
// (a pull toward each other once apart). A parent or child close to the
// other when it passes the exit goes out with it.

#include <cstddef>
#include <vector>

#include "crowd/people.h"
#include "crowd/world.h"

namespace crowd {

// How close (centre to centre) a parent or child must be to the other, as
// that one leaves, to go out with it: in a crush at a door one or two bodies
// may come between the two hands, and the family squeezes through together
// rather than one of them queueing on alone for a minute.
inline constexpr double kFamilyAtExit = 3.0;  // m

// Sets, for the sorted people [from, to), the desired direction and speed of
// this step and the walk left to the exit (in `crowd` and in their Intent),
// and starts each one's force with their fluctuation force. With
// `refreshDirections` the directions are looked up in the field anew. Whoever
// is still within their pre-movement time at `now` (s) wants to stand: no
// desired speed and no fluctuation of their own.
// Reads other people's bodies and intents, writes only those of [from, to).
void setDesiredVelocities(const World& world, bool refreshDirections, double now,
                          const std::vector<Body>& bodies, const std::vector<double>& radii,
                          std::vector<Intent>& intents,
                          CellOrderedCrowd& crowd, std::size_t from, std::size_t to);

}  // namespace crowd
