#pragma once
// Where each person wants to go and how fast: the direction from the
// navigation field of their exit (looked up every few steps), and for a
// follower (a parent walking with its child) a pull toward the one followed
// with a little extra speed to catch up.

#include <cstddef>
#include <vector>

#include "crowd/people.h"
#include "crowd/world.h"

namespace crowd {

// Sets, for the sorted people [from, to), the desired direction and speed of
// this step and the walk left to the exit (in `crowd` and in their Intent),
// and starts each one's force with their fluctuation force. With
// `refreshDirections` the directions are looked up in the field anew. Whoever
// is still within their pre-movement time at `now` (s) wants to stand: no
// desired speed and no fluctuation of their own.
// Reads other people's bodies and intents, writes only those of [from, to).
void setDesiredVelocities(const World& world, bool refreshDirections, double now,
                          const std::vector<Body>& bodies, std::vector<Intent>& intents,
                          CellOrderedCrowd& crowd, std::size_t from, std::size_t to);

}  // namespace crowd
