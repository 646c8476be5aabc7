#include "document_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include "jobs/conversion_job.h"
#include "failure_reason.h"
#include "text_layer_tally.h"
#include "layout/document_settings.h"

namespace folvane::jobs {

namespace {

bool somethingExists(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

bool isRegularFile(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

DocumentWriter::DocumentWriter(const app::OutputSettings& output)
    : m_output(output)
{
}

bool DocumentWriter::open(const std::string& wanted, OutputOpener& opener, OutputPolicy policy)
{
    m_opener = &opener;
    m_document = opener.open(wanted, policy);
    m_path = m_document.path;
    m_pageCounter = 0;
    m_pages = 0;
    // The engine writes a new file under a temporary name and renames it when complete, so
    // normally nothing lies under the name until the close succeeds. Whatever is found there
    // after a failed close was then made by this document and may go; a file that was there
    // before (a name the user chose under "Ask always") is never touched.
    m_removeOnFailure = isOpen() && !m_document.appending && !somethingExists(m_document.path);
    if (!isOpen())
        return false;
    m_composer.emplace(m_document.document, layout::pageLayoutFor(m_output));
    layout::applyDocumentSettings(m_document.document, m_output);
    return true;
}

std::string DocumentWriter::openFailure() const
{
    return m_document.refusal.empty() ? std::string(kReasonNotOpened) : "cannot append: " + m_document.refusal;
}

AddedImage DocumentWriter::addImage(size_t input, const std::string& path, JobObserver& observer, size_t textRow)
{
    AddedImage image;
    image.input = input;
    image.path = path;
    SourceCheck source = examineSource(path);
    image.identity = source.identity;
    if (!source.regular) {
        image.reason = source.reason;
        m_added.push_back(image);
        return image;
    }
    const engine::ImageProbe probe = engine::probeImage(path, 1, m_document.document.autoOrient());
    const int frames = probe.frames;
    ImageOutcome outcome {frames, probe.status.detail};
    TextLayerTally text;
    int pagesBefore = m_composer->pagesBegun();
    for (int frame = 0; frame < frames; ++frame) {
        engine::ImageAdded added = m_composer->composeFrame(frame, path, frames, m_pageCounter);
        m_pageCounter += 1;
        if (added.status.ok)
            m_pages += 1;
        outcome.frameDone(frame, added.status);
        text.add(added.textLayer, textRow, observer);
    }
    if (int begun = m_composer->pagesBegun() - pagesBefore; begun > 0)
        observer.pagesBegun(textRow, begun);
    image.succeeded = outcome.succeeded();
    if (image.succeeded)
        image.note = text.note();
    else
        image.reason = outcome.failureReason();
    m_added.push_back(image);
    return image;
}

CloseOutcome DocumentWriter::close()
{
    CloseOutcome outcome = CloseOutcome::NotWritten;
    // A PDF without pages is of no use and would look like a result, so a new one is dropped
    // unwritten, and a file it was to replace stays.
    engine::Document& document = m_document.document;
    if (m_pages == 0 && document.discard()) {
        outcome = CloseOutcome::Dropped;
    } else {
        m_composer->finishDocument();
        if (document.close().ok) {
            outcome = CloseOutcome::Written;
            // Another process may have taken the name meanwhile; the file then took the next
            // free generated name.
            m_path = m_document.writtenPath();
        } else if (m_removeOnFailure && isRegularFile(m_path)) {
            ::unlink(m_path.c_str());
        }
    }
    m_composer.reset();
    m_opener->closed();
    return outcome;
}

} // namespace folvane::jobs
