// Drives the writer core with operations decoded from the input, to shake out state-machine
// faults (scopes, buffers, page tree) independently of any parser.
#include <cstdint>
#include <cstring>

#include "pdf/document.h"

using namespace folvane::pdf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PdfDocument* doc = newPdfDocument();
    if (!doc)
        return 0;
    openOutput(doc, "");
    size_t i = 0;
    auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
    auto real = [&]() -> double { return (static_cast<int>(next()) - 64) * 7.5; };
    while (i < size) {
        switch (next() % 16) {
        case 0: beginPage(doc, real() + 200, real() + 200); break;
        case 1: endPage(doc); break;
        case 2: saveState(doc); break;
        case 3: restoreState(doc); break;
        case 4: setLineWidth(doc, real()); break;
        case 5: moveTo(doc, real(), real()); break;
        case 6: lineTo(doc, real(), real()); break;
        case 7: strokePath(doc); break;
        case 8: setDash(doc, real(), real()); break;
        case 9: concatMatrix(doc, real(), real(), real(), real(), real(), real()); break;
        case 10: setNumericParameter(doc, "compression", next() % 12); break;
        case 11: setRotation(doc, next() * 90); break;
        case 12: reserveObject(doc); break;
        case 13: {
            uint8_t n = next();
            char text[256] = {};
            for (uint8_t k = 0; k < n && i < size; ++k)
                text[k] = static_cast<char>(next());
            writeLiteralString(doc, text, n);
            writeName(doc, text);
            break;
        }
        case 14: writeFormatted(doc, "%f %d ", real() * 1e6, static_cast<int>(next())); break;
        default: setFlatness(doc, real()); break;
        }
    }
    closePdfDocument(doc);
    freePdfDocument(doc);
    return 0;
}
