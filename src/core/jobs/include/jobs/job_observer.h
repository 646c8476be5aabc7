#pragma once
// JobObserver: the only way a conversion job or a watch-folder run talks to its front end.
// The GUI adapts it to signals delivered to its user-interface thread; the command line prints.
//
// Threads: every method is called on the job's worker thread. A front end carries each update
// out before the call returns (the GUI uses a blocking queued connection), so the front end sees
// the updates in exactly the order the job makes them, and a question's answer is known when the
// call returns. A front end must not call back into the job from these methods; it may only set
// the job's stop flag, from any thread, at any time.
//
// Every method has a default that does nothing (questions: the answer of a user who declines),
// so a front end overrides only what it shows.

#include <cstddef>
#include <string>
#include <vector>

namespace folvane::jobs {

// The answers of the continue question, with the values the job keeps in its state.
enum ContinueAnswer : int {
    kContinueConvert = 6, // "Yes": convert only the rows not started by the previous run
    kNewConvert = 7,      // "No": clear every status and convert all rows
};

class JobObserver {
public:
    virtual ~JobObserver() = default;

    // Row `row` (0-based, in the list's current order) becomes the only selected row and is
    // scrolled into view.
    virtual void rowSelected(size_t /*row*/) {}

    // The Status column of row `row` now reads `status`: "-", "Succeed" or "Failed".
    virtual void rowStatus(size_t /*row*/, const std::string& /*status*/) {}

    // The rows were put into a new order that stays visible after the job: the row now at index
    // i was at index previousIndex[i] before. Later row numbers refer to the new order.
    virtual void rowsReordered(const std::vector<size_t>& /*previousIndex*/) {}

    // The output box shows `path`, the output file actually used (after any renaming).
    virtual void outputNameShown(const std::string& /*path*/) {}

    // The job started (true) or ended (false). While it runs, the front end keeps the user
    // from changing the list, the settings or the page.
    virtual void jobStateChanged(bool /*running*/) {}

    // Some rows of a per-image run were converted by an earlier, interrupted run: Yes converts
    // only the remaining rows, No converts all rows again.
    virtual ContinueAnswer askContinue() { return kNewConvert; }

    // The output file `existingPath` exists and the policy is "Ask always": the front end asks
    // the user for a PDF file name. Returns the chosen path, used exactly as given (no extension
    // is added), or an empty text for Cancel, in which case the job uses a generated new name.
    virtual std::string askOutputName(const std::string& /*existingPath*/) { return {}; }

    // The watch-folder page's state line now reads `text` (empty clears it).
    virtual void watchStateLine(const std::string& /*text*/) {}

    // Text recognition read `frames` more frames of row `row` in `seconds`.
    virtual void textRecognised(size_t /*row*/, int /*frames*/, double /*seconds*/) {}
    // Composing the image of row `row` began `pages` more pages in its output document.
    virtual void pagesBegun(size_t /*row*/, int /*pages*/) {}
};

} // namespace folvane::jobs
