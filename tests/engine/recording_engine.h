#pragma once
// A CEngineClient that writes nothing: it records every call as one line of text and answers
// queries from tables, so tests can compare the exact sequence of options, boxes and drawings.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_client.h"

namespace folvane::test {

class RecordingEngine : public engine::CEngineClient {
public:
    // Answers of query 202 by image path; unknown paths answer 0 and write nothing.
    std::map<std::string, std::pair<int, int>> pixelSizes;
    // Answers of query 250: the width listed for the text, otherwise bytes · size / 2.
    std::map<std::string, int> textWidths;
    int addResult = 1;

    // Recorded calls other than queries, e.g. "109 612 792", "104 10 20 100 66", "add a.tif",
    // "text 3 3 'Report' 255", "line 0 0 100 0 w3 c0".
    std::vector<std::string> calls;
    // Recorded text queries, e.g. "250 100 36 'Report'".
    std::vector<std::string> queries;

    // The calls that start with a prefix ("104 ", "line", ...).
    std::vector<std::string> callsStarting(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }

    int SetDocumentOption(engine::DocHandle, int code, int a, int b, const char* text1 = nullptr,
                          const char* text2 = nullptr) override
    {
        std::string line = std::to_string(code) + " " + std::to_string(a) + " " + std::to_string(b);
        if (code == engine::kOptionBookmarkText)
            line = "110 " + std::string(text1 ? text1 : "");
        if (code == engine::kOptionImagePlacement)
            line += std::string(" ") + (text1 ? text1 : "") + " " + (text2 ? text2 : "");
        calls.push_back(line);
        // The page-size option refuses what the engine refuses: 0 × 0 ends, 10..14399 begins.
        if (code == engine::kOptionPageSize && !(a == 0 && b == 0))
            return a >= 10 && a <= 14399 && b >= 10 && b <= 14399;
        return 1;
    }

    int QueryDocument(engine::DocHandle, int code, intptr_t out1, intptr_t out2, const char* text1 = nullptr,
                      const char* text2 = nullptr) override
    {
        std::string text = text1 ? text1 : "";
        if (code == engine::kQueryPixelSize) {
            queries.push_back("202 " + text + " " + (text2 ? text2 : ""));
            auto found = pixelSizes.find(text);
            if (found == pixelSizes.end())
                return 0;
            *reinterpret_cast<int*>(out1) = found->second.first;
            *reinterpret_cast<int*>(out2) = found->second.second;
            return found->second.first;
        }
        queries.push_back(std::to_string(code) + " " + std::to_string(out1) + " " + std::to_string(out2) + " '" +
                          text + "'");
        int size = static_cast<int>(out2);
        int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
        if (code == engine::kQueryTextHeight)
            return lines == 1 ? size : lines * (size + 4);
        if (code == engine::kQueryTextWidth) {
            auto found = textWidths.find(text);
            if (found != textWidths.end())
                return found->second;
            return static_cast<int>(text.size()) * size / 2;
        }
        return 0;
    }

    engine::ImageAdded AddImage(engine::DocHandle, const std::string& path) override
    {
        calls.push_back("add " + path);
        engine::ImageAdded added;
        if (addResult < 0)
            added.status = Result::failure(FailureCode::OutOfRange, "frame range beyond the image, or no converter for this format");
        else if (addResult == 0)
            added.status = Result::failure(FailureCode::Damaged, "image data damaged or unreadable");
        return added;
    }

    int DrawText(engine::DocHandle, int x, int y, const char* text, unsigned color) override
    {
        calls.push_back("text " + std::to_string(x) + " " + std::to_string(y) + " '" + (text ? text : "") + "' " +
                        std::to_string(color));
        return 1;
    }

    int DrawLine(engine::DocHandle, int x1, int y1, int x2, int y2, int width, unsigned color) override
    {
        calls.push_back("line " + std::to_string(x1) + " " + std::to_string(y1) + " " + std::to_string(x2) + " " +
                        std::to_string(y2) + " w" + std::to_string(width) + " c" + std::to_string(color));
        return 1;
    }
};

} // namespace folvane::test
