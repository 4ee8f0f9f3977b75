#pragma once
// How the files of the project tree reach the disk. Every file is written to
// a temporary file beside it and renamed over its name when complete
// (platform::AtomicFile), so a failed write keeps the previous file. The data
// is not forced out before the rename: a lost tree is rebuilt from its
// scenario in milliseconds, and a forced flush of 25 files would cost a
// rebuild more than all the rest of its work (ext4 also writes a replaced
// file out at the rename on its own).

#include "platform/safe_output.h"

namespace generator {

inline constexpr platform::Durability kTreeDurability = platform::Durability::Never;

}  // namespace generator
