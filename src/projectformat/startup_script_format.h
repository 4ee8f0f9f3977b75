#pragma once
// The startup script bProj\Vellico\startup.pc: its 225 rows, the numbers
// inserted into them, and the meaning of the script's own constants. The
// generator renders the rows from this table; the runtime's reader matches a
// script against the same table.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace projectformat {

// The rows that carry a number of the scenario, and the rows that bound the
// script's sections, by their number in the script (1-based; the cluster rows
// repeat, so rows after them are numbered as in a script without clusters
// plus two per used cluster).
namespace row {
inline constexpr int kTotalPeople = 7;   // global var TotalPeople=<int>;
inline constexpr int kKvxFlag = 8;       // global var dumpToKVX = <int>;
inline constexpr int kAviFlag = 9;       // global var dumpToAVI = <int>;
inline constexpr int kFirstExitA = 15;   // va: the first exit's end at x + half width
inline constexpr int kFirstExitB = 16;   // vb: the first exit's end at x - half width
inline constexpr int kSecondExitA = 18;  // va2
inline constexpr int kSecondExitB = 19;  // vb2
inline constexpr int kScattered = 61;    // the loop that loads the scattered people
inline constexpr int kClusterCentre = 66;  // v0 = the centre of one used cluster
inline constexpr int kClusterCall = 67;    // MyCluster(v0, ...): its ten people
inline constexpr int kCameraX = 111;
inline constexpr int kCameraY = 112;
inline constexpr int kCameraZ = 113;
inline constexpr int kCount = 225;  // rows of the table (the cluster pair counted once)
}  // namespace row

// The numbers a row carries, each written once per row where it stands.
enum class Field : unsigned char {
    TotalPeople,   // row 7
    KvxFlag,       // row 8: 1 records the people's motion into a KVX file
    AviFlag,       // row 9: 1 records a movie
    FirstExitAX,   // row 15: va.x
    FirstExitBX,   // row 16: vb.x
    FirstExitZ,    // rows 15 and 16: the z of both ends
    SecondExitAX,  // row 18: va2.x
    SecondExitBX,  // row 19: vb2.x
    SecondExitZ,   // rows 18 and 19
    Scattered,     // row 61: people who belong to no cluster
    ClusterX,      // row 66
    ClusterZ,      // row 66
    CameraX,       // row 111
    CameraY,       // row 112
    CameraZ,       // row 113
};
inline constexpr std::size_t kFieldCount = 15;

enum class FieldKind { Integer, Real };
FieldKind kindOf(Field field);
// The field's name in the table ("TOTAL", "VAX", ...).
std::string_view nameOf(Field field);

// One row of the table: its leading tabs and its text, in which @NAME@ marks
// a field.
struct ScriptRow {
    int tabs;
    std::string_view text;
};
const ScriptRow& scriptRow(int number);  // 1 to row::kCount

// Walks a row's text: onText(literal piece) and onField(Field) in order.
template <class OnText, class OnField>
void forEachPiece(const ScriptRow& r, OnText&& onText, OnField&& onField);

// The values of the fields as they are written (numbers already formatted).
using FieldValues = std::array<std::string, kFieldCount>;

// Appends the row with its tabs, its fields filled in and a line feed.
void appendRow(std::string& out, int number, const FieldValues& values);

// The row's expected text with <int> or <real> where a field stands, tabs
// included (for messages).
std::string describeRow(int number);

// ---- What the script does with its own constants -------------------------
// The runtime reproduces the script's meaning from these; the rows above
// contain the same numbers (a test holds them together).
namespace script {
// MyCluster (rows 214-225) loads one person per step of 36 degrees from
// -180 up to (not including) 180: ten people on a circle of radius 15 units
// around the centre, at x = c.x + 15 cos(a), z = c.z + 15 sin(a).
inline constexpr int kPeoplePerCluster = 10;
inline constexpr double kClusterRadius = 15.0;         // world units
inline constexpr double kClusterFirstAngle = -180.0;   // degrees
inline constexpr double kClusterAngleStep = 36.0;      // degrees
// Rows 71-72: a scattered person starts at x, z = -60 + (Math.Rand() % 120),
// each coordinate an integer from -60 to 59.
inline constexpr int kScatterOrigin = -60;
inline constexpr int kScatterRange = 120;
// Rows 83-92, the role loop over people in load order: of the first 30,
// even indices are children and odd ones the parent following the child
// before them; the next 30 are adults; everyone after that is a child who
// jogs.
inline constexpr int kPairedPeople = 30;
inline constexpr int kAdults = 30;
// Row 138 (Poll): whoever comes closer than 5 units to any of the four exit
// vectors leaves the scene.
inline constexpr double kExitLeaveDistance = 5.0;  // world units
// Rows 15-19: a placed exit at P gives the ends (P.x + 5, P.z) and
// (P.x - 5, P.z): a door 10 units (1 m) wide across x.
inline constexpr float kExitHalfWidth = 5.0f;  // world units
// An exit that was not placed gets its default position: the first at
// z = 65, the second at z = -65, both at x = 0.
struct Point {
    float x;
    float z;
};
inline constexpr Point kDefaultExits[2] = {{0.0f, 65.0f}, {0.0f, -65.0f}};
// Rows 111-113: the camera at (-s, s/5, s) times 1/0.7, with s the floor's
// integer scale; each coordinate formed in double from a single-precision
// factor and stored as single precision.
inline constexpr float kCameraSide = 1.4285715f;
inline constexpr float kCameraHeight = 0.2857143f;
}  // namespace script

// How the people of a scenario are placed: `total` people in all (a pair is
// two people), `used` clusters that receive ten people each, `scattered`
// people who belong to no cluster. `used` is the smaller of clusterCount and
// total / 10 (a negative clusterCount counts as none), so the script never
// creates more people than TotalPeople counts down.
struct PeopleLayout {
    long long total = 0;
    long long used = 0;
    long long scattered = 0;
};
PeopleLayout layoutPeople(int pairCount, int adultCount, int childCount, int clusterCount);

// Formats a real as the script expects: the single-precision value widened to
// double, %g with precision 6, "." as decimal point whatever the locale, a
// three-digit exponent (1e+006), and never "-0".
std::string formatReal(float value);

// ---- inline definitions ---------------------------------------------------

Field fieldByName(std::string_view name);

template <class OnText, class OnField>
void forEachPiece(const ScriptRow& r, OnText&& onText, OnField&& onField) {
    std::string_view text = r.text;
    while (!text.empty()) {
        const std::size_t open = text.find('@');
        if (open == std::string_view::npos) {
            onText(text);
            return;
        }
        if (open > 0) onText(text.substr(0, open));
        const std::size_t close = text.find('@', open + 1);
        onField(fieldByName(text.substr(open + 1, close - open - 1)));
        text.remove_prefix(close + 1);
    }
}

}  // namespace projectformat
