// The PDF record comes before any Qt header: it has a member named "slots", a word Qt's
// headers turn into a macro.
#include "pdf/document.h"

#include "job_summary.h"

#include <QFileInfo>

namespace folvane::gui {

int pdfPageCount(const std::string& path)
{
    // The reader is the one that opens files for appending; the update is dropped unwritten, so
    // the file keeps every byte.
    pdf::PdfDocument* doc = pdf::newPdfDocument();
    if (!doc)
        return -1;
    int pages = -1;
    if (pdf::openForAppend(doc, path) == 1) {
        pages = doc->existing.pageCount;
        pdf::abandonAppend(doc);
    }
    pdf::freePdfDocument(doc);
    return pages;
}

JobSummary summarizeJob(int converted, int failed, const jobs::JobReport& report)
{
    JobSummary summary;
    summary.converted = converted;
    summary.failed = failed;
    summary.stopped = report.stopped;
    for (const jobs::OutputRecord& output : report.outputs) {
        if (!output.written)
            continue;
        ++summary.pdfCount;
        summary.lastPdf = QString::fromStdString(output.path);
    }
    if (summary.stopped && !summary.lastPdf.isEmpty())
        summary.keptPages = pdfPageCount(summary.lastPdf.toStdString());
    return summary;
}

QString summaryText(const JobSummary& summary)
{
    QString counts = QStringLiteral("%1 converted, %2 failed").arg(summary.converted).arg(summary.failed);
    if (summary.stopped) {
        QString text = QStringLiteral("Stopped: ") + counts;
        if (summary.lastPdf.isEmpty())
            return text + QStringLiteral("\nNo PDF file was kept.");
        if (summary.keptPages < 0)
            return text + QStringLiteral("\nKept %1.").arg(summary.lastPdf);
        return text + QStringLiteral("\nKept %1 with %2 %3.")
                          .arg(summary.lastPdf)
                          .arg(summary.keptPages)
                          .arg(summary.keptPages == 1 ? QStringLiteral("page") : QStringLiteral("pages"));
    }
    if (summary.pdfCount == 0)
        return counts + QStringLiteral("\nNo PDF file was written.");
    if (summary.pdfCount == 1)
        return counts + QStringLiteral("\nSaved as %1").arg(summary.lastPdf);
    return counts + QStringLiteral("\n%1 PDF files saved in %2").arg(summary.pdfCount).arg(QFileInfo(summary.lastPdf).absolutePath());
}

} // namespace folvane::gui
