// The state machines and the event table, bProj\StateMachines.
#include "generator/generated_texts.h"

namespace generator {

namespace {

struct Event {
    const char* name;
    long value;
};

// The events of the category "Drive", in file order (not sorted). The value's
// upper half groups them: 1 activity, 2 keyboard, 3 mouse, 4 skill, 5 crowd.
constexpr Event kDriveEvents[] = {
    {"DM_ACTIVITY", 0x1},
    {"DM_ACTIVITY_3DPATHPEAK", 0x10008},
    {"DM_ACTIVITY_ADDED", 0x10010},
    {"DM_ACTIVITY_APPROACH", 0x1000A},
    {"DM_ACTIVITY_COLLISION", 0x10006},
    {"DM_ACTIVITY_FINISHED", 0x10001},
    {"DM_ACTIVITY_FOLLOWCHANGE", 0x1000C},
    {"DM_ACTIVITY_IKLOCOCONTACT", 0x1000E},
    {"DM_ACTIVITY_IKLOCONEXTCON", 0x1000D},
    {"DM_ACTIVITY_IKLOCONOCONTACT", 0x1000F},
    {"DM_ACTIVITY_LOCOCREATED", 0x10003},
    {"DM_ACTIVITY_LOCOFAILED", 0x10002},
    {"DM_ACTIVITY_LOCOSTOPPED", 0x10004},
    {"DM_ACTIVITY_MANIPFAILED", 0x10005},
    {"DM_ACTIVITY_RECEIVECOL", 0x10007},
    {"DM_ACTIVITY_REMOVED", 0x10020},
    {"DM_ACTIVITY_RETREAT", 0x1000B},
    {"DM_ACTIVITY_TRANSDATA", 0x10009},
    {"DM_KEYBOARD_KEYDOWN", 0x20001},
    {"DM_KEYBOARD_KEYUP", 0x20002},
    {"DM_MOUSE_LDOWN", 0x30002},
    {"DM_MOUSE_LUP", 0x30003},
    {"DM_MOUSE_MDOWN", 0x30004},
    {"DM_MOUSE_MOVE", 0x30001},
    {"DM_MOUSE_MUP", 0x30005},
    {"DM_MOUSE_RDOWN", 0x30006},
    {"DM_MOUSE_RUP", 0x30007},
    {"DM_PING", 123},  // also declared by helperdata.pcs
    {"DM_SKILL_EVENT", 0x40000},
    {"DM_CROWD_PFD", 0x50000},
    {"DM_CROWD_SKIP", 0x50001},
};
static_assert(sizeof kDriveEvents / sizeof kDriveEvents[0] == 31);

}  // namespace

std::string eventTableText() {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n"
        "<!-- Do not edit this computer generated file -->\n"
        "<!DOCTYPE events [\n"
        "<!ELEMENT events (category)*>\n"
        "<!ELEMENT category (event)*>\n"
        "<!ATTLIST category\n"
        "    name CDATA #REQUIRED\n"
        "    value CDATA #REQUIRED>\n"
        "<!ELEMENT event EMPTY>\n"
        "<!ATTLIST event\n"
        "    name CDATA #REQUIRED\n"
        "    value CDATA #REQUIRED>\n"
        "]>\n"
        "<events>\n"
        "\n"
        "    <category name=\"Drive\" value=\"0\">\n";
    for (const Event& event : kDriveEvents) {
        out += "        <event name=\"";
        out += event.name;
        out += "\" value=\"";
        out += std::to_string(event.value);
        out += "\"/>\n";
    }
    out +=
        "    </category>\n"
        "\n"
        "\n"
        "</events>\n";
    return out;
}

}  // namespace generator
