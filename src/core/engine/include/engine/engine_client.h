#pragma once
// CEngineClient: the one object through which the application reaches the engine. Its methods
// forward one to one; they are virtual so that tests of the callers (page composition, jobs)
// can record or fake the exact calls.

#include <cstdint>
#include <string>

#include "engine/engine_protocol.h"

namespace folvane::engine {

class CEngineClient {
public:
    virtual ~CEngineClient() = default;

    virtual DocHandle CreateDocument(const std::string& path, const NamingRule& naming = {})
    {
        return engine::CreateDocument(path, naming);
    }
    virtual DocHandle OpenDocumentForAppend(const std::string& path) { return engine::OpenDocumentForAppend(path); }
    virtual std::string LastAppendRefusal() { return engine::LastAppendRefusal(); }
    virtual int CloseDocument(DocHandle h) { return engine::CloseDocument(h); }
    virtual int DiscardDocument(DocHandle h) { return engine::DiscardDocument(h); }
    virtual int SetDocumentOption(DocHandle h, int code, int a, int b, const char* text1 = nullptr,
                                  const char* text2 = nullptr)
    {
        return engine::SetDocumentOption(h, code, a, b, text1, text2);
    }
    virtual int QueryDocument(DocHandle h, int code, intptr_t out1, intptr_t out2, const char* text1 = nullptr,
                              const char* text2 = nullptr)
    {
        return engine::QueryDocument(h, code, out1, out2, text1, text2);
    }
    virtual int SetDocumentInfo(DocHandle h, const char* title, const char* subject, const char* author,
                                const char* keywords, const char* creator)
    {
        return engine::SetDocumentInfo(h, title, subject, author, keywords, creator);
    }
    // The result carries the cause of a failure and what text recognition did.
    virtual ImageAdded AddImage(DocHandle h, const std::string& path) { return engine::AddImage(h, path); }
    virtual int DrawText(DocHandle h, int x, int y, const char* text, unsigned color)
    {
        return engine::DrawText(h, x, y, text, color);
    }
    virtual int DrawLine(DocHandle h, int x1, int y1, int x2, int y2, int width, unsigned color)
    {
        return engine::DrawLine(h, x1, y1, x2, y2, width, color);
    }

    // Typed convenience for query 202: the pixel size of an image file's frame.
    bool pixelSize(const std::string& path, int frame, int& width, int& height)
    {
        std::string frameText = std::to_string(frame);
        return QueryDocument(0, kQueryPixelSize, reinterpret_cast<intptr_t>(&width),
                             reinterpret_cast<intptr_t>(&height), path.c_str(), frameText.c_str()) > 0;
    }
};

} // namespace folvane::engine
