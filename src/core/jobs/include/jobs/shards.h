#pragma once
// Splitting one batch over several processes or machines (a Kubernetes Indexed Job, a Slurm job
// array, GNU Parallel): shard K of N converts the documents whose position in the job's document
// order, counted from 0, is K modulo N. The order is the one a single run uses, so N shards
// together write exactly the files one run writes, each once.

#include <optional>
#include <string>
#include <vector>

#include "jobs/conversion_job.h"

namespace folvane::jobs {

struct Shard {
    int index = 0; // 0 <= index < count
    int count = 1;
};

// Parses "K/N" (0 <= K < N <= 1000000). Nothing for another text.
std::optional<Shard> parseShard(const std::string& text);

// The shard a scheduler gave this process, from JOB_COMPLETION_INDEX (a Kubernetes Indexed Job;
// the count is `shardsGiven`, which must then be above 0) or from SLURM_ARRAY_TASK_ID with
// SLURM_ARRAY_TASK_COUNT (the array's first index, SLURM_ARRAY_TASK_MIN, counts as 0).
// Nothing, with `error` set, when neither is there or the values do not fit.
std::optional<Shard> shardFromEnvironment(int shardsGiven, std::string& error);

// The rows of `shard` under `mode` (per-image or per-folder; merge mode has a single document,
// which shard 0 takes). Per-folder rows come back sorted as the job sorts them.
std::vector<FileRow> shardRows(std::vector<FileRow> rows, int mode, const OutputPaths& paths, const Shard& shard);

} // namespace folvane::jobs
