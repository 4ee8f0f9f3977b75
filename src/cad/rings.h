#pragma once
// Closing a layer's linework into rings: closed pieces as they are, open
// pieces joined end to end.

#include <string>
#include <vector>

#include "cad/drawing.h"

namespace cad {

struct HandledRing {
    std::vector<Point> points;  // without a repeated last point
    std::string handle;         // of the piece the ring starts with
    std::string type;
    std::size_t pieces = 1;     // pieces joined into it
};

// Joins the open pieces of `layer` whose ends meet within `tolerance`
// (metres) into closed rings; closed pieces pass as they are. A chain that
// does not close is refused (platform::InputError) with the file's label,
// the layer, the handle of the piece at the loose end and the end's
// position, and the nearest end of another piece.
std::vector<HandledRing> closeRings(const std::vector<Piece>& pieces, double tolerance,
                                    const std::string& label, const std::string& layer);

// "(12.345, -6.700) m"
std::string positionText(Point p);

}  // namespace cad
