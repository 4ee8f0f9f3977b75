// The two small generated files of the script library, bProj\Vellico (the
// other nine are copies of templates; see projectformat/project_files.cpp).
#include "generator/generated_texts.h"

namespace generator {

std::string helperDataText() {
    // DM_PING has the same value in the event table (events.evt).
    return "const DM_PING = 123;\n";
}

std::string driveEventText() {
    return "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n"
           "<!-- Do not edit this computer generated file -->\n"
           "<typeinfo>\n"
           "    <class name=\"Event\">\n"
           "        <property name=\"msg\"/>\n"
           "        <property name=\"data\"/>\n"
           "        <property name=\"object\"/>\n"
           "    </class>\n"
           "</typeinfo>\n";
}

}  // namespace generator
