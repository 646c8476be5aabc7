#pragma once
// What text recognition did for the frames of one source: the progress it reports to the front
// end frame by frame, and the note a converted source carries when some of its pages were left
// without text.

#include <cstddef>
#include <string>

#include "engine/engine.h"
#include "jobs/job_observer.h"

namespace folvane::jobs {

class TextLayerTally {
public:
    // Takes the report of one composed frame (what the engine reported with the added image) of row `row`.
    void add(const engine::TextLayerReport& report, size_t row, JobObserver& observer)
    {
        if (report.frames == 0)
            return;
        observer.textRecognised(row, report.frames, report.seconds);
        m_failed += report.failed;
        if (m_failure.empty())
            m_failure = report.failure;
    }

    // "no text layer on 2 pages: <reason>", or empty when every frame was read.
    std::string note() const
    {
        if (m_failed == 0)
            return {};
        return "no text layer on " + std::to_string(m_failed) + (m_failed == 1 ? " page: " : " pages: ") + m_failure;
    }

private:
    int m_failed = 0;
    std::string m_failure;
};

} // namespace folvane::jobs
