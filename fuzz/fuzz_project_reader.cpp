// Fuzzes the startup-script reader of mvnrt: any bytes either read as a
// script or give a ScriptError; nothing crashes. A script that reads is also
// turned into people on a small square floor.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "inputs/project.h"
#include "inputs/startup_script_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        runtime::ProjectData p;
        p.script = runtime::parseStartupScript(text);
        if (p.script.totalPeople > 40) return 0;  // keep each input quick
        p.floorOutline = {{-70, -70}, {70, -70}, {70, 70}, {-70, 70}};
        runtime::buildProjectSetup(p, 1);
    } catch (const runtime::ScriptError&) {
    } catch (const runtime::InputError&) {
    }
    return 0;
}
