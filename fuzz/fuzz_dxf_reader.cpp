// Fuzzes the DXF plan reader (dxflib, blocks, chords, rings, GEOS): any bytes
// either read as a plan or give an InputError naming the drawing; nothing
// crashes, hangs or takes runaway memory. Each input is read twice: with the
// header's unit, and in metres with every layer asked for by default.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cad/plan.h"
#include "platform/input_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int round = 0; round < 2; ++round) {
        cad::PlanOptions o;
        if (round == 1) o.unit = cad::Unit::Metre;
        try {
            const cad::Plan p = cad::readPlanBytes(bytes, "fuzz.dxf", o);
            if (p.walkable.empty() || !(p.area() > 0.0)) __builtin_trap();
            for (const cad::Area& a : p.walkable)
                if (a.outer.size() < 3) __builtin_trap();
        } catch (const platform::InputError&) {
        }
    }
    return 0;
}
