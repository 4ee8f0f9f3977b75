// The project descriptor, bProj\something.spj: the asset types the project
// knows and the folder tree of the editor's project window. The same text for
// every scenario.
#include "generator/generated_texts.h"
#include "generator/project_builder.h"

namespace generator {

namespace {

struct Line {
    int blanks;  // leading blanks
    const char* text;
};

// The continuation lines of each ATTLIST stand under its first attribute
// (19, 18, 17 and 15 blanks).
// clang-format off
constexpr Line kLines[] = {
    {0, "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>"},  // 1
    {0, "<!-- Do not edit this computer generated file -->"},  // 2
    {0, "<!DOCTYPE project ["},  // 3
    {0, "<!ELEMENT project ((AssetTypes?),(ProjectWindow?))>"},  // 4
    {0, "<!ELEMENT AssetTypes (assetdef)*>"},  // 5
    {0, "<!ELEMENT assetdef (subtype)*>"},  // 6
    {0, "<!ATTLIST assetdef name CDATA #REQUIRED"},  // 7
    {19, "mask CDATA #REQUIRED"},  // 8
    {19, "build CDATA #IMPLIED"},  // 9
    {19, "editor CDATA #IMPLIED"},  // 10
    {19, "publish CDATA #IMPLIED"},  // 11
    {19, "constructor CDATA #IMPLIED>"},  // 12
    {0, "<!ELEMENT subtype (EMPTY)*>"},  // 13
    {0, "<!ATTLIST subtype name CDATA #REQUIRED"},  // 14
    {18, "build CDATA #IMPLIED"},  // 15
    {18, "editor CDATA #IMPLIED"},  // 16
    {18, "publish CDATA #IMPLIED"},  // 17
    {18, "constructor CDATA #IMPLIED>"},  // 18
    {0, "<!ELEMENT ProjectWindow (folder)*>"},  // 19
    {0, "<!ELEMENT folder (asset|file|filters|folder|property)*>"},  // 20
    {0, "<!ATTLIST folder name CDATA #REQUIRED"},  // 21
    {17, "type CDATA #IMPLIED"},  // 22
    {17, "path CDATA #IMPLIED"},  // 23
    {17, "recursive CDATA #IMPLIED>"},  // 24
    {0, "<!ELEMENT asset (EMPTY)*>"},  // 25
    {0, "<!ATTLIST asset name CDATA #REQUIRED>"},  // 26
    {0, "<!ELEMENT file (property)*>"},  // 27
    {0, "<!ATTLIST file path CDATA #REQUIRED"},  // 28
    {15, "subtype CDATA #IMPLIED"},  // 29
    {15, "excludebuild CDATA #IMPLIED"},  // 30
    {15, "excludepublish CDATA #IMPLIED>"},  // 31
    {0, "<!ELEMENT filters (asset)*>"},  // 32
    {0, "<!ELEMENT property (EMPTY)*>"},  // 33
    {0, "<!ATTLIST property name CDATA #REQUIRED"},  // 34
    {19, "value CDATA #REQUIRED>"},  // 35
    {0, "]>"},  // 36
    {0, "<project>"},  // 37
    {0, ""},  // 38
    {4, "<AssetTypes>"},  // 39
    {8, "<assetdef name=\"Event\" mask=\"*.evt\""},  // 40
    {12, "editor=\"yes\""},  // 41
    {12, "constructor=\"single\""},  // 42
    {8, ">"},  // 43
    {8, "</assetdef>"},  // 44
    {8, "<assetdef name=\"TypeInfo\" mask=\"*.pti\""},  // 45
    {8, ">"},  // 46
    {8, "</assetdef>"},  // 47
    {8, "<assetdef name=\"HFSM\" mask=\"*.hfsm\""},  // 48
    {12, "editor=\"yes\""},  // 49
    {12, "build=\"yes\""},  // 50
    {12, "publish=\"yes\""},  // 51
    {12, "constructor=\"yes\""},  // 52
    {8, ">"},  // 53
    {8, "</assetdef>"},  // 54
    {8, "<assetdef name=\"Vellico\" mask=\"*.pc\""},  // 55
    {12, "editor=\"yes\""},  // 56
    {12, "build=\"yes\""},  // 57
    {12, "publish=\"yes\""},  // 58
    {12, "constructor=\"yes\""},  // 59
    {8, ">"},  // 60
    {8, "</assetdef>"},  // 61
    {8, "<assetdef name=\"KVX\" mask=\"*.kvx\""},  // 62
    {8, ">"},  // 63
    {12, "<subtype name=\"World\" editor=\"yes\" />"},  // 64
    {12, "<subtype name=\"Actor\" editor=\"yes\" />"},  // 65
    {8, "</assetdef>"},  // 66
    {8, "<assetdef name=\"ConstSet\" mask=\"*.pcs\""},  // 67
    {12, "editor=\"yes\""},  // 68
    {12, "constructor=\"yes\""},  // 69
    {8, ">"},  // 70
    {8, "</assetdef>"},  // 71
    {4, "</AssetTypes>"},  // 72
    {0, ""},  // 73
    {4, "<ProjectWindow>"},  // 74
    {8, "<folder name=\"Content\" path=\".\\content\""},  // 75
    {12, "type=\"import\" recursive=\"yes\">"},  // 76
    {12, "<filters>"},  // 77
    {16, "<asset name=\"KVX\"/>"},  // 78
    {12, "</filters>"},  // 79
    {12, "<folder name=\"Actors\">"},  // 80
    {16, "<folder name=\"Archer\">"},  // 81
    {20, "<file path=\"Archer.kvx\" subtype=\"Actor\">"},  // 82
    {20, "</file>"},  // 83
    {16, "</folder>"},  // 84
    {16, "<folder name=\"Proxy\">"},  // 85
    {20, "<file path=\"Proxy.kvx\" subtype=\"Actor\">"},  // 86
    {20, "</file>"},  // 87
    {16, "</folder>"},  // 88
    {16, "<folder name=\"Wall\">"},  // 89
    {20, "<file path=\"Wall.kvx\" subtype=\"Actor\">"},  // 90
    {20, "</file>"},  // 91
    {16, "</folder>"},  // 92
    {16, "<folder name=\"Floor\">"},  // 93
    {20, "<file path=\"Floor.kvx\" subtype=\"Actor\">"},  // 94
    {20, "</file>"},  // 95
    {16, "</folder>"},  // 96
    {12, "</folder>"},  // 97
    {8, "</folder>"},  // 98
    {8, "<folder name=\"Vellico\" path=\"Vellico\">"},  // 99
    {12, "<asset name=\"Vellico\"/>"},  // 100
    {12, "<asset name=\"ConstSet\"/>"},  // 101
    {12, "<asset name=\"TypeInfo\"/>"},  // 102
    {12, "<file path=\"crowd.pc\">"},  // 103
    {12, "</file>"},  // 104
    {12, "<file path=\"drive_constants.pcs\">"},  // 105
    {12, "</file>"},  // 106
    {12, "<file path=\"drive_event.pti\">"},  // 107
    {12, "</file>"},  // 108
    {12, "<file path=\"drive_typeinfo.pti\">"},  // 109
    {12, "</file>"},  // 110
    {12, "<file path=\"flock.pc\">"},  // 111
    {12, "</file>"},  // 112
    {12, "<file path=\"helper.pc\">"},  // 113
    {12, "</file>"},  // 114
    {12, "<file path=\"helperdata.pcs\">"},  // 115
    {12, "</file>"},  // 116
    {12, "<file path=\"imgcap.pc\">"},  // 117
    {12, "</file>"},  // 118
    {12, "<file path=\"mocap.pc\">"},  // 119
    {12, "</file>"},  // 120
    {12, "<file path=\"vellico.pti\">"},  // 121
    {12, "</file>"},  // 122
    {12, "<file path=\"rtk.pc\">"},  // 123
    {12, "</file>"},  // 124
    {12, "<file path=\"startup.pc\">"},  // 125
    {12, "</file>"},  // 126
    {8, "</folder>"},  // 127
    {8, "<folder name=\"State Machines\" path=\"StateMachines\">"},  // 128
    {12, "<asset name=\"HFSM\"/>"},  // 129
    {12, "<asset name=\"Event\"/>"},  // 130
    {12, "<file path=\"cluster.hfsm\">"},  // 131
    {12, "</file>"},  // 132
    {12, "<file path=\"events.evt\">"},  // 133
    {12, "</file>"},  // 134
    {12, "<file path=\"handler.hfsm\">"},  // 135
    {12, "</file>"},  // 136
    {8, "</folder>"},  // 137
    {4, "</ProjectWindow>"},  // 138
    {0, ""},  // 139
    {0, ""},  // 140
    {0, "</project>"},  // 141
};
// clang-format on
static_assert(sizeof kLines / sizeof kLines[0] == 141);

}  // namespace

std::string projectDescriptorText() {
    std::string out;
    out.reserve(4608);
    for (const Line& line : kLines) {
        out.append(static_cast<std::size_t>(line.blanks), ' ');
        out += line.text;
        out.push_back('\n');
    }
    return out;
}

void ProjectBuilder::writeProjectDescriptor(std::string_view systemPath) {
    writeGenerated(systemPath, projectDescriptorText());
}

}  // namespace generator
