#include "run_report.h"

#include <cstdio>

#include "app/setting_keys.h"

namespace folvane::cli {

namespace {

// The length of the UTF-8 sequence starting at `at`, or 0 when the bytes there are not one.
size_t utf8Length(std::string_view text, size_t at)
{
    unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) >> 6) != 0x2)
            return 0;
    // Overlong forms and surrogates are not UTF-8 either.
    unsigned char next = static_cast<unsigned char>(length > 1 ? text[at + 1] : 0);
    if ((length == 2 && lead < 0xC2) || (length == 3 && lead == 0xE0 && next < 0xA0) ||
        (length == 3 && lead == 0xED && next >= 0xA0) || (length == 4 && lead == 0xF0 && next < 0x90) ||
        (length == 4 && (lead > 0xF4 || (lead == 0xF4 && next >= 0x90))))
        return 0;
    return length;
}

// Each row's output document: the report lists the documents in the order the job opened them,
// which is the order of the rows (merge: one; per image: one per row; per folder: one per run of
// rows with the same planned name).
std::vector<std::string> rowOutputs(const std::vector<jobs::FileRow>& rows, const jobs::JobReport& report, int mode,
                                    const jobs::OutputPaths& paths)
{
    std::vector<std::string> outputs(rows.size());
    std::vector<std::string> images;
    for (const jobs::FileRow& row : rows)
        images.push_back(row.path);
    // The job opens its documents in plan order, so the report's n-th output is the n-th document.
    for (const jobs::PlannedDocument& doc : jobs::planDocuments(images, mode, paths)) {
        for (size_t row : doc.inputs) {
            if (rows[row].status != jobs::kStatusNone && doc.index < report.outputs.size())
                outputs[row] = report.outputs[doc.index].path;
        }
    }
    return outputs;
}

} // namespace

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else if (c >= 0x80) {
            size_t length = utf8Length(text, i);
            if (length == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
                continue;
            }
            out.append(text.substr(i, length));
            i += length;
            continue;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

void printRecord(bool json, std::string_view input, std::string_view output, std::string_view status,
                 std::string_view reason)
{
    if (json) {
        std::printf("{\"input\":%s,\"output\":%s,\"status\":%s,\"reason\":%s}\n", jsonString(input).c_str(),
                    jsonString(output).c_str(), jsonString(status).c_str(), jsonString(reason).c_str());
    } else {
        std::string_view path = input.empty() ? output : input;
        std::printf("%.*s%s%.*s\n", static_cast<int>(status.size()), status.data(), path.empty() ? "" : " ",
                    static_cast<int>(path.size()), path.data());
    }
}

void printPlan(const std::vector<std::string>& inputs, int mode, const jobs::OutputPaths& paths, bool json)
{
    for (const std::string& input : inputs) {
        std::string output = jobs::plannedPdfName(input, mode, paths);
        if (json)
            printRecord(true, input, output, "Planned", "");
        else
            std::printf("%s -> %s\n", input.c_str(), output.c_str());
    }
    std::fflush(stdout);
}

void printSettingChanges(const app::OutputSettings& stored, const app::OutputSettings& run, bool json)
{
    for (const app::SettingSpec* spec : app::outputSettingKeys()) {
        std::string before = spec->valueIn(stored);
        std::string after = spec->valueIn(run);
        if (before == after)
            continue;
        std::string_view key = spec->key;
        if (key == app::key::userPassword || key == app::key::ownerPassword)
            after = "(hidden)";
        if (json)
            std::printf("{\"setting\":%s,\"value\":%s}\n", jsonString(key).c_str(), jsonString(after).c_str());
        else
            std::printf("Setting %s=%s\n", spec->key, after.c_str());
    }
}

bool printJobResults(const std::vector<jobs::FileRow>& rows, const jobs::JobReport& report, int mode,
                     const jobs::OutputPaths& paths, bool quiet, bool json)
{
    std::vector<std::string> outputs = rowOutputs(rows, report, mode, paths);
    bool allSucceeded = true;
    for (size_t i = 0; i < rows.size(); ++i) {
        const jobs::FileRow& row = rows[i];
        bool succeeded = row.status == jobs::kStateSucceed;
        allSucceeded = allSucceeded && succeeded;
        bool failed = row.status == jobs::kStateFailed;
        std::string reason = failed ? (row.failure.empty() ? "not converted" : row.failure)
                             : row.status == jobs::kStatusNone ? "stopped before this input" : row.note;
        if (!quiet || !succeeded)
            printRecord(json, row.path, outputs[i], row.status, json ? reason : "");
        if (failed)
            std::fprintf(stderr, "folvane-cli: %s: Failed: %s\n", row.path.c_str(), reason.c_str());
        else if (succeeded && !row.note.empty())
            std::fprintf(stderr, "folvane-cli: %s: %s\n", row.path.c_str(), row.note.c_str());
    }
    for (const jobs::OutputRecord& output : report.outputs)
        if (!output.refusal.empty())
            std::fprintf(stderr, "folvane-cli: %s: cannot append: %s\n", output.path.c_str(), output.refusal.c_str());
    for (const jobs::OutputRecord& output : report.outputs)
        if (!output.created)
            printRecord(json, "", output.path, jobs::kStateCreateFailed, json ? "the file could not be created" : "");
    for (const jobs::OutputRecord& output : report.outputs)
        if (output.written && !quiet)
            printRecord(json, "", output.path, "Written", "");
    if (report.stopped && !quiet)
        printRecord(json, "", "", "Stopped", json ? "stop requested" : "");
    std::fflush(stdout);
    return allSucceeded;
}

void printDryRun(const app::SettingsStore& store, const app::OutputSettings& run,
                 const std::vector<std::string>& inputs, int mode, const jobs::OutputPaths& paths, bool json)
{
    app::OutputSettings stored;
    app::loadOutputSettings(store, stored);
    printSettingChanges(stored, run, json);
    printPlan(inputs, mode, paths, json);
}

void printDryRun(const app::SettingsStore& store, const app::OutputSettings& run,
                 const std::vector<std::string>& inputs, const std::vector<jobs::PlannedDocument>& plan, bool json)
{
    app::OutputSettings stored;
    app::loadOutputSettings(store, stored);
    printSettingChanges(stored, run, json);
    for (const jobs::PlannedDocument& doc : plan) {
        for (size_t input : doc.inputs) {
            if (json)
                printRecord(true, inputs[input], doc.wantedPath, "Planned", "");
            else
                std::printf("%s -> %s\n", inputs[input].c_str(), doc.wantedPath.c_str());
        }
    }
    std::fflush(stdout);
}

} // namespace folvane::cli

