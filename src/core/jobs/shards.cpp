#include "jobs/shards.h"

#include <cstdlib>

namespace folvane::jobs {

namespace {

constexpr long kMaxShards = 1000000;

std::optional<long> wholeNumber(const std::string& text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stol(text);
}

std::optional<long> environmentNumber(const char* name)
{
    const char* value = std::getenv(name);
    return value ? wholeNumber(value) : std::nullopt;
}

std::optional<Shard> makeShard(long index, long count)
{
    if (count < 1 || count > kMaxShards || index < 0 || index >= count)
        return std::nullopt;
    return Shard {static_cast<int>(index), static_cast<int>(count)};
}

} // namespace

std::optional<Shard> parseShard(const std::string& text)
{
    size_t slash = text.find('/');
    if (slash == std::string::npos)
        return std::nullopt;
    auto index = wholeNumber(text.substr(0, slash));
    auto count = wholeNumber(text.substr(slash + 1));
    if (!index || !count)
        return std::nullopt;
    return makeShard(*index, *count);
}

std::optional<Shard> shardFromEnvironment(int shardsGiven, std::string& error)
{
    if (std::getenv("JOB_COMPLETION_INDEX")) {
        auto index = environmentNumber("JOB_COMPLETION_INDEX");
        if (shardsGiven < 1) {
            error = "JOB_COMPLETION_INDEX is set: give the number of shards with --shards N";
            return std::nullopt;
        }
        auto shard = index ? makeShard(*index, shardsGiven) : std::nullopt;
        if (!shard)
            error = "JOB_COMPLETION_INDEX does not name a shard of " + std::to_string(shardsGiven);
        return shard;
    }
    if (std::getenv("SLURM_ARRAY_TASK_ID")) {
        auto id = environmentNumber("SLURM_ARRAY_TASK_ID");
        auto count = environmentNumber("SLURM_ARRAY_TASK_COUNT");
        long first = environmentNumber("SLURM_ARRAY_TASK_MIN").value_or(0);
        auto shard = id && count && *id >= first ? makeShard(*id - first, *count) : std::nullopt;
        if (!shard)
            error = "SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT do not name a shard";
        return shard;
    }
    error = "--shard auto needs JOB_COMPLETION_INDEX (with --shards N) or SLURM_ARRAY_TASK_ID";
    return std::nullopt;
}

std::vector<FileRow> shardRows(std::vector<FileRow> rows, int mode, const OutputPaths& paths, const Shard& shard)
{
    std::vector<FileRow> kept;
    auto mine = [&](size_t position) { return static_cast<int>(position % static_cast<size_t>(shard.count)) == shard.index; };
    if (mode == kPerImageMode) {
        for (size_t i = 0; i < rows.size(); ++i) {
            if (mine(i))
                kept.push_back(std::move(rows[i]));
        }
    } else if (mode == kPerFolderMode) {
        sortRowsByPath(rows);
        std::vector<RowRange> documents = folderDocuments(rows, paths.perFolderFolder);
        for (size_t d = 0; d < documents.size(); ++d) {
            if (!mine(d))
                continue;
            for (size_t i = documents[d].first; i < documents[d].end; ++i)
                kept.push_back(std::move(rows[i]));
        }
    } else if (shard.index == 0) {
        kept = std::move(rows);
    }
    return kept;
}

} // namespace folvane::jobs
