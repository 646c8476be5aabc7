// Writes a small multi-page PDF with vector content through the writer core and prints its path.
#include <cstdio>
#include <filesystem>

#include "pdf/document.h"

using namespace folvane::pdf;

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "folvane-demo.pdf";
    PdfDocument* doc = newPdfDocument();
    if (!doc || openOutput(doc, path) != 1) {
        std::fprintf(stderr, "cannot create %s\n", path);
        return 1;
    }
    const double widths[] = {0.5, 1, 2, 4, 8};
    for (int page = 0; page < 12; ++page) {
        setRotation(doc, page == 1 ? 90 : 0);
        beginPage(doc, 595.2756, 841.8898);
        for (int i = 0; i < 5; ++i) {
            saveState(doc);
            double gray = (i + page % 3) / 8.0;
            writeFormatted(doc, "%f %f %f RG\r", gray, 0.2 + 0.1 * i, 0.8 - gray);
            setLineWidth(doc, widths[i]);
            if (i % 2)
                setDash(doc, 6, 3);
            moveTo(doc, 72, 700 - 60.0 * i);
            lineTo(doc, 523, 700 - 60.0 * i - 20.0 * page);
            strokePath(doc);
            restoreState(doc);
        }
        endPage(doc);
    }
    setRotation(doc, 0);
    int ok = closePdfDocument(doc);
    freePdfDocument(doc);
    if (!ok) {
        std::fprintf(stderr, "writing %s failed\n", path);
        return 1;
    }
    std::printf("%s\n", std::filesystem::absolute(path).c_str());
    return 0;
}
