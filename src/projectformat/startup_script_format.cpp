#include "projectformat/startup_script_format.h"

#include <algorithm>
#include <charconv>

namespace projectformat {

namespace {

// The 225 rows of the script. The pair kClusterCentre/kClusterCall is written
// once per used cluster.
// clang-format off
constexpr ScriptRow kRows[] = {
    {0, "use constants \"drive_constants\";"},  // 1
    {0, "function main() {"},  // 2
    {1, "engine.RunScript(\"rtk\", nil);"},  // 3
    {1, "engine.LoadWorld(\"world.kvx\");"},  // 4
    {1, "global var world = engine.GetCurrentWorld();"},  // 5
    {1, "global var FAR = new DrvVector(1000,1000,10000);"},  // 6
    {1, "global var TotalPeople=@TOTAL@;"},  // 7
    {1, "global var dumpToKVX = @KVXFLAG@;"},  // 8
    {1, "global var dumpToAVI = @AVIFLAG@;"},  // 9
    {1, "var terrain = world.GetActorByName(\"Floor0\");"},  // 10
    {1, "var floor = terrain.GetNodeByName(\"Floor\");"},  // 11
    {1, "var floorisflat = (floor.GetFloor().top == 0);"},  // 12
    {1, "var v0, count=0, actor;"},  // 13
    {1, "// first exit"},  // 14
    {1, "global var va = new DrvVector(@VAX@,0,@EXIT1Z@);"},  // 15
    {1, "global var vb = new DrvVector(@VBX@,0,@EXIT1Z@);"},  // 16
    {1, "// second exit"},  // 17
    {1, "global var va2 = new DrvVector(@VA2X@,0,@EXIT2Z@);"},  // 18
    {1, "global var vb2 = new DrvVector(@VB2X@,0,@EXIT2Z@);"},  // 19
    {0, ""},  // 20
    {1, "var mesh = floor.GetMesh();"},  // 21
    {1, "if(mesh == nil)"},  // 22
    {2, "mesh = floor.GetParent().GetMesh();"},  // 23
    {0, ""},  // 24
    {1, "var vmin = new DrvVector(100000, 100000, 10000000);"},  // 25
    {1, "var vmax = new DrvVector(-100000, -100000, -10000000);"},  // 26
    {1, "var v, n = mesh.nvertices;"},  // 27
    {1, "for(var c = 0; c < n; c++) {"},  // 28
    {2, "v = mesh.GetVertex(c);"},  // 29
    {2, ""},  // 30
    {2, "if(v.x < vmin.x)"},  // 31
    {3, "vmin.x = v.x;"},  // 32
    {2, "if(v.y < vmin.y)"},  // 33
    {3, "vmin.y = v.y;"},  // 34
    {2, "if(v.z < vmin.z)"},  // 35
    {3, "vmin.z = v.z;"},  // 36
    {2, "if(v.x > vmax.x)"},  // 37
    {3, "vmax.x = v.x;"},  // 38
    {2, "if(v.y > vmax.y)"},  // 39
    {3, "vmax.y = v.y;"},  // 40
    {2, "if(v.z > vmax.z)"},  // 41
    {3, "vmax.z = v.z;"},  // 42
    {1, "}"},  // 43
    {0, ""},  // 44
    {1, "var w = vmax.z - vmin.z;"},  // 45
    {1, "var h = vmax.x - vmin.x;"},  // 46
    {0, ""},  // 47
    {1, "var dimw = new Integer(5*w/5 + 0.5);\t// second 5 instead of radius"},  // 48
    {1, "var dimh = new Integer(5*h/5 + 0.5);"},  // 49
    {0, ""},  // 50
    {1, "if(dimw < 400)"},  // 51
    {2, "dimw = 400;"},  // 52
    {1, "if(dimh < 400)"},  // 53
    {2, "dimh = 400;"},  // 54
    {0, ""},  // 55
    {1, "vmin.MultiplyTransform(vmin, floor.GetGlobalTransform());"},  // 56
    {0, ""},  // 57
    {1, "var x = vmin.z;"},  // 58
    {1, "var y = vmin.x;"},  // 59
    {0, ""},  // 60
    {1, "for (var i=0; i<@SCATTERED@; i++) {"},  // 61
    {2, "var tempActor = engine.LoadActor(\"Archer\", world);"},  // 62
    {2, "AddClusterData(tempActor, \"NonClustered\");"},  // 63
    {1, "}"},  // 64
    {1, "var placed = new List();"},  // 65
    {1, "v0 = new DrvVector(@CLUSTERX@,0,@CLUSTERZ@);"},  // 66
    {1, "MyCluster(v0, \"Archer\", \"Clustered\");"},  // 67
    {1, "global var nonClusteredList = ExtractCluster(\"NonClustered\");"},  // 68
    {1, "for (actor = nonClusteredList.First(); actor != nil; actor = nonClusteredList.Next()) {"},  // 69
    {2, "var mat = actor.GetRootNode().GetGlobalTransform();"},  // 70
    {2, "mat.position.x = -60 + Math.Rand()%120;"},  // 71
    {2, "mat.position.z = -60 + Math.Rand()%120;"},  // 72
    {2, "actor.GetRootNode().SetGlobalTransform(mat);"},  // 73
    {1, "}"},  // 74
    {1, "global var flock = InitializeSimpleFlock(\"Archer\", 0.45, \"walk\", 5, 15, 60, floor, va, vb);"},  // 75
    {1, "flock.CreateNavigationFunction(1, floor, dimw, dimh, 5, 5, va2, vb2);"},  // 76
    {1, "i = 0;"},  // 77
    {1, "global var glist = world.GetActorList(\"Archer\");"},  // 78
    {1, "global var myList = world.GetActorList(\"Archer\");"},  // 79
    {1, "var pfd1, pfd2;"},  // 80
    {1, "v0 = new DrvVector(0,0,1);"},  // 81
    {1, "for (actor = glist.First(); actor != nil; actor = glist.Next()) {"},  // 82
    {2, "if ((i%2 == 0) && (i < 30)) {\t// make Child"},  // 83
    {3, "pfd1 = actor.pfd;"},  // 84
    {3, "actor.fa.SetTargetSkill(\"jog\", 1500, 1);"},  // 85
    {2, "} else if (i < 30) {\t// make Parent"},  // 86
    {3, "pfd2 = actor.pfd;"},  // 87
    {3, "flock.SetLeaderFollower(pfd1,pfd2,v0,2);"},  // 88
    {2, "} else if (count < 30) {\t// make Adult"},  // 89
    {3, "count++;"},  // 90
    {2, "} else {\t// make Kid"},  // 91
    {3, "actor.fa.SetTargetSkill(\"jog\", 1500, 1);"},  // 92
    {2, "}"},  // 93
    {2, "flock.EnableFloorCeiling(actor.pfd, TRUE, 0, 15);"},  // 94
    {2, "ClosestExit(actor, va, vb, va2, vb2);"},  // 95
    {2, "//Console.PrintNl(\"i=\", i, \", z=\", mat.position.z, \", nav=\", actor.nav);"},  // 96
    {2, "i++;"},  // 97
    {2, "// mix up the cycle start time"},  // 98
    {2, "actor.fa.ikla.loco.skilltime = Math.Rand()%1000;"},  // 99
    {2, "// add a pose for stopping"},  // 100
    {2, "var stop = world.GetSkillCache().GetSkill(\"stand\", actor);"},  // 101
    {2, "actor.fa.ikla.loco.SetStopSkill(stop);"},  // 102
    {1, "}"},  // 103
    {1, "count = 0;"},  // 104
    {1, "var camera = world.GetCamera();"},  // 105
    {1, "camera.fovy = 60;"},  // 106
    {1, "engine.SetupCamera(camera);"},  // 107
    {1, "var T;"},  // 108
    {1, "T = new DrvTransform();"},  // 109
    {1, "T.Identity();"},  // 110
    {1, "T.position.x = @CAMX@;"},  // 111
    {1, "T.position.y = @CAMY@;"},  // 112
    {1, "T.position.z = @CAMZ@;"},  // 113
    {1, "T.rotation.y = -0.42;"},  // 114
    {1, "engine.PositionCamera(T);"},  // 115
    {0, ""},  // 116
    {1, "world.AddVellicoActivityByName(\"Poll\");"},  // 117
    {0, ""},  // 118
    {1, "if (dumpToAVI==1) {"},  // 119
    {2, "InitializeRecord(24); "},  // 120
    {2, "OpenMovie(\"test.avi\", 24); "},  // 121
    {2, "StartMovieCapture();"},  // 122
    {1, "}"},  // 123
    {1, "if (dumpToKVX==1) {"},  // 124
    {2, "InitializeRecord(24);"},  // 125
    {2, "for(actor = glist.First(); actor != nil; actor = glist.Next()) {"},  // 126
    {3, "if ((actor.pfd == nil)||(actor.pfd==\"Null\")) continue;"},  // 127
    {3, "SubmitActor(\"h:\\mocap.kvx\", actor); "},  // 128
    {2, "}"},  // 129
    {2, "StartRecord();"},  // 130
    {1, "}"},  // 131
    {0, "}"},  // 132
    {0, ""},  // 133
    {0, "function Poll(activity, time, world) {"},  // 134
    {1, "var actor, pfd;"},  // 135
    {1, "var steering = new Float(), speed = new Float(), target = new DrvVector(0,0,0);"},  // 136
    {1, "for (actor = myList.First(); actor != nil; actor = myList.Next()) {"},  // 137
    {2, "if (DistToExit(actor,va, vb, va2, vb2) < 5) {"},  // 138
    {3, "actor.SetScale(0);"},  // 139
    {3, "TotalPeople--;"},  // 140
    {3, "if ((TotalPeople <= 0)&&(dumpToAVI==1)) {"},  // 141
    {4, "CloseMovie();"},  // 142
    {4, "RuntimeStop();"},  // 143
    {3, "}"},  // 144
    {3, "else if ((TotalPeople <= 0)&&(dumpToKVX==1)) {"},  // 145
    {4, "CloseRecord();"},  // 146
    {4, "RuntimeStop();"},  // 147
    {3, "}"},  // 148
    {3, "else if (TotalPeople <=0) {"},  // 149
    {4, "RuntimeStop();"},  // 150
    {3, "}"},  // 151
    {3, "myList.Delete();"},  // 152
    {3, "var mat = actor.GetRootNode().GetGlobalTransform();"},  // 153
    {3, "mat.position = FAR;"},  // 154
    {3, "actor.GetRootNode().SetGlobalTransform(mat);"},  // 155
    {2, "}"},  // 156
    {1, "}"},  // 157
    {0, "}"},  // 158
    {0, ""},  // 159
    {0, "function ClosestExit(actor, va, vb, va2, vb2) {"},  // 160
    {1, "// checks actor's position versus the two exits"},  // 161
    {1, "// if closer to va/vb, sets actor.nav to 0, else 1"},  // 162
    {1, "var d1,d2,d3,d4,mat;"},  // 163
    {1, "mat = actor.GetRootNode().GetGlobalTransform();"},  // 164
    {1, "d1 = Math.Sqrt((va.x-mat.position.x)*(va.x-mat.position.x)+(va.z-mat.position.z)*(va.z-mat.position.z));"},  // 165
    {1, "d2 = Math.Sqrt((vb.x-mat.position.x)*(vb.x-mat.position.x)+(vb.z-mat.position.z)*(vb.z-mat.position.z));"},  // 166
    {1, "d3 = Math.Sqrt((va2.x-mat.position.x)*(va2.x-mat.position.x)+(va2.z-mat.position.z)*(va2.z-mat.position.z));"},  // 167
    {1, "d4 = Math.Sqrt((vb2.x-mat.position.x)*(vb2.x-mat.position.x)+(vb2.z-mat.position.z)*(vb2.z-mat.position.z));"},  // 168
    {0, ""},  // 169
    {1, "var l1, l2;"},  // 170
    {1, "if (d1 < d2)"},  // 171
    {2, "l1 = d1;"},  // 172
    {1, "else"},  // 173
    {2, "l1 = d2;"},  // 174
    {0, ""},  // 175
    {1, "if (d3 < d4)"},  // 176
    {2, "l2 = d3;"},  // 177
    {1, "else"},  // 178
    {2, "l2 = d4;"},  // 179
    {0, ""},  // 180
    {1, "if (l1 <= l2)"},  // 181
    {2, "actor.nav = 0;"},  // 182
    {1, "else"},  // 183
    {2, "actor.nav = 1;"},  // 184
    {0, "}"},  // 185
    {0, ""},  // 186
    {0, "function DistToExit(actor, va, vb, va2, vb2) {"},  // 187
    {1, "// checks actor's position versus the two exits"},  // 188
    {1, "// if closer to va/vb, sets actor.nav to 0, else 1"},  // 189
    {1, "var d1,d2,d3,d4,mat;"},  // 190
    {1, "mat = actor.GetRootNode().GetGlobalTransform();"},  // 191
    {1, "d1 = Math.Sqrt((va.x-mat.position.x)*(va.x-mat.position.x)+(va.z-mat.position.z)*(va.z-mat.position.z));"},  // 192
    {1, "d2 = Math.Sqrt((vb.x-mat.position.x)*(vb.x-mat.position.x)+(vb.z-mat.position.z)*(vb.z-mat.position.z));"},  // 193
    {1, "d3 = Math.Sqrt((va2.x-mat.position.x)*(va2.x-mat.position.x)+(va2.z-mat.position.z)*(va2.z-mat.position.z));"},  // 194
    {1, "d4 = Math.Sqrt((vb2.x-mat.position.x)*(vb2.x-mat.position.x)+(vb2.z-mat.position.z)*(vb2.z-mat.position.z));"},  // 195
    {0, ""},  // 196
    {1, "var l1, l2;"},  // 197
    {1, "if (d1 < d2)"},  // 198
    {2, "l1 = d1;"},  // 199
    {1, "else"},  // 200
    {2, "l1 = d2;"},  // 201
    {0, ""},  // 202
    {1, "if (d3 < d4)"},  // 203
    {2, "l2 = d3;"},  // 204
    {1, "else"},  // 205
    {2, "l2 = d4;"},  // 206
    {0, ""},  // 207
    {1, "if (l1 <= l2)"},  // 208
    {2, "return l1;"},  // 209
    {1, "else"},  // 210
    {2, "return l2;"},  // 211
    {0, "}"},  // 212
    {0, ""},  // 213
    {0, "function MyCluster(center, actorclass, clustername) {"},  // 214
    {1, "var actor, mat, v0;"},  // 215
    {0, ""},  // 216
    {1, "for (var i=-180.0; i<180.0; i+=36) {"},  // 217
    {2, "actor = engine.LoadActor(actorclass, world);"},  // 218
    {2, "mat = actor.GetRootNode().GetGlobalTransform();"},  // 219
    {2, "mat.position.x = center.x+15*Math.Cos(i/180.0*PI);"},  // 220
    {2, "mat.position.z = center.z+15*Math.Sin(i/180.0*PI);"},  // 221
    {2, "actor.GetRootNode().SetGlobalTransform(mat);"},  // 222
    {2, "AddClusterData(actor, clustername);"},  // 223
    {1, "}"},  // 224
    {0, "}"},  // 225
};
// clang-format on
static_assert(sizeof kRows / sizeof kRows[0] == row::kCount);

struct FieldInfo {
    std::string_view name;
    FieldKind kind;
};
// In the order of Field.
constexpr FieldInfo kFields[] = {
    {"TOTAL", FieldKind::Integer},  {"KVXFLAG", FieldKind::Integer}, {"AVIFLAG", FieldKind::Integer},
    {"VAX", FieldKind::Real},       {"VBX", FieldKind::Real},        {"EXIT1Z", FieldKind::Real},
    {"VA2X", FieldKind::Real},      {"VB2X", FieldKind::Real},       {"EXIT2Z", FieldKind::Real},
    {"SCATTERED", FieldKind::Integer}, {"CLUSTERX", FieldKind::Real}, {"CLUSTERZ", FieldKind::Real},
    {"CAMX", FieldKind::Real},      {"CAMY", FieldKind::Real},       {"CAMZ", FieldKind::Real},
};
static_assert(sizeof kFields / sizeof kFields[0] == kFieldCount);

}  // namespace

FieldKind kindOf(Field field) { return kFields[static_cast<std::size_t>(field)].kind; }

std::string_view nameOf(Field field) { return kFields[static_cast<std::size_t>(field)].name; }

Field fieldByName(std::string_view name) {
    for (std::size_t i = 0; i < kFieldCount; ++i)
        if (kFields[i].name == name) return static_cast<Field>(i);
    // Only the table's own markers reach here; a test reads every row.
    return Field::TotalPeople;
}

const ScriptRow& scriptRow(int number) { return kRows[number - 1]; }

void appendRow(std::string& out, int number, const FieldValues& values) {
    const ScriptRow& r = scriptRow(number);
    out.append(static_cast<std::size_t>(r.tabs), '\t');
    forEachPiece(
        r, [&](std::string_view text) { out.append(text); },
        [&](Field f) { out.append(values[static_cast<std::size_t>(f)]); });
    out.push_back('\n');
}

std::string describeRow(int number) {
    if (number < 1 || number > row::kCount) return {};
    const ScriptRow& r = scriptRow(number);
    std::string out(static_cast<std::size_t>(r.tabs), '\t');
    forEachPiece(
        r, [&](std::string_view text) { out.append(text); },
        [&](Field f) { out += kindOf(f) == FieldKind::Integer ? "<int>" : "<real>"; });
    return out;
}

PeopleLayout layoutPeople(int pairCount, int adultCount, int childCount, int clusterCount) {
    PeopleLayout layout;
    layout.total = 2LL * pairCount + adultCount + childCount;
    const long long perCluster = script::kPeoplePerCluster;
    const long long clusters = std::max(clusterCount, 0);
    layout.used = layout.total < perCluster * clusters ? layout.total / perCluster : clusters;
    const long long rest = layout.total - perCluster * layout.used;
    layout.scattered = rest > 0 ? rest : 0;
    return layout;
}

std::string formatReal(float value) {
    const double widened = value;
    if (widened == 0.0) return "0";  // also -0.0: never "-0"
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, widened, std::chars_format::general, 6);
    std::string out(text, result.ptr);
    // The runtime's conversion writes at least three exponent digits.
    auto e = out.find('e');
    if (e != std::string::npos && e + 2 <= out.size()) {
        std::size_t digits = out.size() - (e + 2);
        if (digits < 3) out.insert(e + 2, 3 - digits, '0');
    }
    return out;
}

}  // namespace projectformat
