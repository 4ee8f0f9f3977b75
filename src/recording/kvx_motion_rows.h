#pragma once
// The rows of a KVX motion file, shared by its writer (kvx_motion_writer.cpp)
// and its reader (kvx_motion_reader.cpp); the format is described in
// kvx_motion.h.

#include <cstdint>
#include <string_view>

namespace recording::kvx_rows {

// The rows of a motion scene, each with the tabs before it.
inline constexpr std::string_view kHeader = "KVX TEXT 2.1";
inline constexpr std::string_view kComment = "; people's motion recorded by mvnrt";
inline constexpr std::string_view kScene = "TW_Scene SCN-";
inline constexpr std::string_view kUnits = "\tUnits ";
inline constexpr std::string_view kUpAxis = "\tUpAxis Y";
inline constexpr std::string_view kFloor = "\tTW_Floor FLR-walkable";
inline constexpr std::string_view kPolygon = "\t\tTW_Polygon ";
inline constexpr std::string_view kVertex = "\t\t\t";
inline constexpr std::string_view kExit = "\tTW_Exit EXT-";
inline constexpr std::string_view kKind = "\t\tKind ";
inline constexpr std::string_view kOpening = "\t\tOpening ";
inline constexpr std::string_view kCamera = "\tTW_Camera CAM-script";
inline constexpr std::string_view kPosition = "\t\tPosition ";
inline constexpr std::string_view kRotationY = "\t\tRotationY ";
inline constexpr std::string_view kFovY = "\t\tFovY ";
inline constexpr std::string_view kNote = "\tTW_Note ";
inline constexpr std::string_view kMotion = "\tTW_Motion MOT-";
inline constexpr std::string_view kFrameRate = "\t\tFrameRate ";
inline constexpr std::string_view kActorCount = "\t\tActorCount ";
inline constexpr std::string_view kActor = "\t\tTW_Actor ACT-";
inline constexpr std::string_view kRole = "\t\t\tRole ";
inline constexpr std::string_view kRadius = "\t\t\tRadius ";
inline constexpr std::string_view kFrameList = "\t\tTW_FrameList";
inline constexpr std::string_view kColumns = "\t\t\t; actor: x, y, z, heading";
inline constexpr std::string_view kFrame = "\t\t\tTW_Frame ";
inline constexpr std::string_view kPose = "\t\t\t\t";
inline constexpr std::string_view kFrameCount = "\t\tFrameCount ";
inline constexpr std::string_view kEvacuationTime = "\t\tEvacuationTime ";
inline constexpr std::string_view kEveryoneOut = "\t\tEveryoneOut ";
inline constexpr std::string_view kLeaveList = "\t\tTW_LeaveList";
inline constexpr std::string_view kLeaveColumns = "\t\t\t; actor: exit, time";
inline constexpr std::string_view kLeaving = "\t\t\t";
inline constexpr std::string_view kEnd = "EndScene";
// Lines end in CR LF like other KVX scenes; the reader takes LF as well.
inline constexpr std::string_view kEol = "\r\n";
inline constexpr int kDecimals = 6;
// Longer files are refused before reading: about 20 million poses.
inline constexpr std::uint64_t kMaxFileBytes = 1ull << 30;

}  // namespace recording::kvx_rows
