#pragma once
// A sweep handed to Slurm: `mvnrt --sweep FILE --submit slurm`. The plan and
// two batch scripts go into the results root (a user can read them and submit
// them again by hand):
//   ROOT/sweep.sbatch    a job array, task K making the runs of task K
//                        (mvnrt --sweep-task ROOT --task-index K)
//   ROOT/collect.sbatch  the aggregate (mvnrt --collect ROOT)
// The array is submitted with `sbatch --parsable`, the aggregation job after
// it with --dependency=afterany:<array job>; ROOT/submission.json records the
// job ids and when they were submitted. The results root must be on a file
// system the cluster's nodes share, and so must mvnrt.

#include <string>

#include "inputs/mvnrt_options.h"

namespace runtime {

// The job id in `sbatch --parsable`'s output ("1234" or "1234;cluster",
// followed by a line break). Throws std::runtime_error when there is none.
std::string parsableJobId(const std::string& output);

// Returns mvnrt's exit status: 0 when submitted, 1 when sbatch failed.
int submitSweep(const Options& opt);

}  // namespace runtime
