// The script library, bProj\Vellico: nine scripts, constant sets and
// type-information files copied from the templates, and two small generated
// files, in the order in which the runtime's project lists them.
#include "generator/generated_texts.h"
#include "generator/project_builder.h"

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

void ProjectBuilder::writeScriptLibrary() {
    copyTemplate(".\\unchanged\\rtk.pc", ".\\bProj\\Vellico\\rtk.pc");
    copyTemplate(".\\unchanged\\vellico.pti", ".\\bProj\\Vellico\\vellico.pti");
    copyTemplate(".\\unchanged\\mocap.pc", ".\\bProj\\Vellico\\mocap.pc");
    copyTemplate(".\\unchanged\\imgcap.pc", ".\\bProj\\Vellico\\imgcap.pc");
    writeGenerated(".\\bProj\\Vellico\\helperdata.pcs", helperDataText());
    copyTemplate(".\\unchanged\\helper.pc", ".\\bProj\\Vellico\\helper.pc");
    copyTemplate(".\\unchanged\\flock.pc", ".\\bProj\\Vellico\\flock.pc");
    copyTemplate(".\\unchanged\\drive_typeinfo.pti", ".\\bProj\\Vellico\\drive_typeinfo.pti");
    writeGenerated(".\\bProj\\Vellico\\drive_event.pti", driveEventText());
    copyTemplate(".\\unchanged\\drive_constants.pcs", ".\\bProj\\Vellico\\drive_constants.pcs");
    copyTemplate(".\\unchanged\\crowd.pc", ".\\bProj\\Vellico\\crowd.pc");
}

}  // namespace generator
