#pragma once
// The invisible text layer that text recognition adds over each placed picture. Engine-internal.

#include <string>

#include "engine/engine.h"
#include "engine_document.h"
#include "pdf/images.h"

namespace folvane::engine {

// Where a picture lies on the page, in PDF points: its lower-left corner and the points per
// pixel of the embedded image in each direction.
struct PictureGeometry {
    double left = 0;
    double bottom = 0;
    double scaleX = 1;
    double scaleY = 1;
};

// When the document has text recognition on: reads the file just placed (a TIFF file's 1-based
// `page`, a JPEG or a PNG file; `format` is its codec format id) and draws its words over the
// picture. A frame that cannot be read keeps its picture without text; textLayerReport counts it
// and keeps the first reason.
void addTextLayer(EngineDocument* doc, const std::string& path, int format, int page,
                  const pdf::ImageSlot& image, const PictureGeometry& geometry);

// What recognition did during the last addImageFile on the calling thread; cleared when it begins.
TextLayerReport textLayerReport();
void clearTextLayerReport();

} // namespace folvane::engine
