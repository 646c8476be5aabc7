#pragma once
// The document-wide settings of an output document, translated from the output settings into
// the engine's typed setters.

#include "app/output_settings.h"
#include "engine/engine.h"
#include "version.h"

namespace folvane::layout {

// The producer text written when the "producer" setting is empty: the program with its version.
inline constexpr const char* kDefaultProducer = "Folvane " FOLVANE_VERSION_TEXT " https://folvane.example/";

// Sets compression per image class, JPEG quality, skew correction, rotation, document
// information, producer, security, viewer preferences, image handling and text recognition on
// `document`. A compression of "None" leaves the engine's choice. Security is only set when it
// is switched on; an update refuses it by itself (see engine::Document::setSecurity).
void applyDocumentSettings(engine::Document& document, const app::OutputSettings& settings);

// How a viewer opens the file under `settings`, added to what `current` holds already: full
// screen wins over the panel, the window flags are only ever switched on.
engine::ViewerPreferences viewerPreferencesFor(const app::OutputSettings& settings,
                                               engine::ViewerPreferences current = {});

} // namespace folvane::layout
