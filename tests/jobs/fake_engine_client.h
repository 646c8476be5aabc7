#pragma once
// A CEngineClient that writes no PDF: it records every call as one line of text, hands out
// handles 1, 2, ... and answers from tables the test fills. Calls the test does not configure
// succeed.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/engine_client.h"

namespace folvane::test {

class FakeEngineClient : public engine::CEngineClient {
public:
    std::vector<std::string> calls;
    std::set<std::string> failingCreates; // CreateDocument of these paths answers 0
    std::set<std::string> failingAppends; // OpenDocumentForAppend of these paths answers 0
    std::map<std::string, int> frameCounts; // query 201 per image path (default 1)
    std::set<std::string> failingImages;    // adding these images fails
    std::set<engine::DocHandle> failingCloses;

    engine::DocHandle CreateDocument(const std::string& path, const engine::NamingRule& = {}) override
    {
        calls.push_back("CreateDocument " + path);
        return failingCreates.count(path) ? 0 : ++m_lastHandle;
    }
    engine::DocHandle OpenDocumentForAppend(const std::string& path) override
    {
        calls.push_back("OpenDocumentForAppend " + path);
        return failingAppends.count(path) ? 0 : ++m_lastHandle;
    }
    int CloseDocument(engine::DocHandle h) override
    {
        calls.push_back("CloseDocument " + std::to_string(h));
        return failingCloses.count(h) ? 0 : 1;
    }
    // The fake's documents are never dropped; a page-less one is closed like any other.
    int DiscardDocument(engine::DocHandle) override { return 0; }
    int SetDocumentOption(engine::DocHandle h, int code, int a, int b, const char* text1,
                          const char* text2) override
    {
        calls.push_back("SetDocumentOption " + std::to_string(h) + " " + std::to_string(code) + " " +
                        std::to_string(a) + " " + std::to_string(b) + " " + text(text1) + " " + text(text2));
        return 1;
    }
    int QueryDocument(engine::DocHandle h, int code, intptr_t, intptr_t, const char* text1, const char*) override
    {
        calls.push_back("QueryDocument " + std::to_string(h) + " " + std::to_string(code) + " " + text(text1));
        if (code != engine::kQueryFrameCount)
            return 0;
        auto found = frameCounts.find(text(text1));
        return found == frameCounts.end() ? 1 : found->second;
    }
    int SetDocumentInfo(engine::DocHandle h, const char* title, const char* subject, const char* author,
                        const char* keywords, const char* creator) override
    {
        calls.push_back("SetDocumentInfo " + std::to_string(h) + " " + text(title) + "|" + text(subject) + "|" +
                        text(author) + "|" + text(keywords) + "|" + text(creator));
        return 1;
    }
    engine::ImageAdded AddImage(engine::DocHandle h, const std::string& path) override
    {
        calls.push_back("AddImageFile " + std::to_string(h) + " " + path);
        engine::ImageAdded added;
        if (failingImages.count(path))
            added.status = Result::failure(FailureCode::Damaged, "image data damaged or unreadable");
        return added;
    }
    int DrawText(engine::DocHandle h, int x, int y, const char* t, unsigned color) override
    {
        calls.push_back("DrawText " + std::to_string(h) + " " + std::to_string(x) + " " + std::to_string(y) +
                        " " + text(t) + " " + std::to_string(color));
        return 1;
    }
    int DrawLine(engine::DocHandle h, int x1, int y1, int x2, int y2, int width, unsigned color) override
    {
        calls.push_back("DrawLine " + std::to_string(h) + " " + std::to_string(x1) + " " + std::to_string(y1) +
                        " " + std::to_string(x2) + " " + std::to_string(y2) + " " + std::to_string(width) + " " +
                        std::to_string(color));
        return 1;
    }

private:
    static std::string text(const char* t) { return t ? t : "(null)"; }
    engine::DocHandle m_lastHandle = 0;
};

} // namespace folvane::test
