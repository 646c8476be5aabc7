#pragma once
// What convert and watch print about their inputs and outputs: the text lines people read, or
// with --json one JSON object per line (input, output, status, reason) for scripts.

#include <string>
#include <string_view>
#include <vector>

#include "app/output_settings.h"
#include "app/settings_store.h"
#include "jobs/conversion_job.h"
#include "jobs/grouping.h"
#include "jobs/output_naming.h"

namespace folvane::cli {

// `text` as a JSON string with its quotes; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(std::string_view text);

// One record: a JSON object line, or the text line "STATUS PATH" (input, else output).
void printRecord(bool json, std::string_view input, std::string_view output, std::string_view status,
                 std::string_view reason);

// The dry run: which input would go into which PDF, before any renaming by the existing-file
// policy. Text lines read "INPUT -> OUTPUT".
void printPlan(const std::vector<std::string>& inputs, int mode, const jobs::OutputPaths& paths, bool json);

// The dry run's first lines: each output setting this run changes from the stored one, as
// "Setting KEY=VALUE" or {"setting":KEY,"value":VALUE}; passwords show as "(hidden)".
void printSettingChanges(const app::OutputSettings& stored, const app::OutputSettings& run, bool json);

// The whole dry run: the settings `run` changes from those of `store`, then the plan.
void printDryRun(const app::SettingsStore& store, const app::OutputSettings& run,
                 const std::vector<std::string>& inputs, int mode, const jobs::OutputPaths& paths, bool json);
// The same with the documents the run plans for `inputs`, printed in the plan's order.
void printDryRun(const app::SettingsStore& store, const app::OutputSettings& run,
                 const std::vector<std::string>& inputs, const std::vector<jobs::PlannedDocument>& plan, bool json);

// The outcome of a job: one record per row (failures also to standard error) and per output
// that could not be created, was written, or the job's stop. With `quiet` only failures. True
// when every row succeeded.
bool printJobResults(const std::vector<jobs::FileRow>& rows, const jobs::JobReport& report, int mode,
                     const jobs::OutputPaths& paths, bool quiet, bool json);

} // namespace folvane::cli
