#pragma once
// The texts the file-list page shows about a job: the progress bar's "n of N files" and the
// summary that stays in the page after the job until the next one starts.

#include <QString>

#include <string>

#include "jobs/conversion_job.h"

namespace folvane::gui {

// What the summary tells about a finished job.
struct JobSummary {
    int converted = 0;
    int failed = 0;
    bool stopped = false;
    QString lastPdf;  // the last PDF file the job wrote completely; empty when none
    int pdfCount = 0; // PDF files written completely
    int keptPages = -1; // pages of lastPdf when the job was stopped, -1 when unknown
};

// The summary of a job from its counts and report; the kept file's pages are read from it when
// the job was stopped.
JobSummary summarizeJob(int converted, int failed, const jobs::JobReport& report);

// "12 converted, 1 failed" and a second line: where the PDF went, or, after Stop, which PDF was
// kept with how many pages.
QString summaryText(const JobSummary& summary);

// The number of pages of a PDF file as the PDF reader finds them; -1 when it cannot read it.
int pdfPageCount(const std::string& path);

} // namespace folvane::gui
