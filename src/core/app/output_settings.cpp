#include "app/output_settings.h"

#include <array>
#include <string_view>

namespace folvane::app {

namespace {

// The key of every field is the field's own name.
#define FOLVANE_INT_KEY(field, byDefault) OutputSettingKey{#field, &OutputSettings::field, nullptr, byDefault}
#define FOLVANE_TEXT_KEY(field) OutputSettingKey{#field, nullptr, &OutputSettings::field, 0}

const auto kKeys = std::to_array<OutputSettingKey>({
    FOLVANE_INT_KEY(colorTif, 4),
    FOLVANE_INT_KEY(grayTif, 4),
    FOLVANE_INT_KEY(bwTif, 4),
    FOLVANE_INT_KEY(bSkew, 0),
    FOLVANE_INT_KEY(quality, 75),
    FOLVANE_INT_KEY(imgFit, 0),
    FOLVANE_INT_KEY(pageRotate, 0),
    FOLVANE_INT_KEY(pageSize, 0),
    FOLVANE_INT_KEY(page_W, 0),
    FOLVANE_INT_KEY(page_H, 0),
    FOLVANE_INT_KEY(xdpi, 72),
    FOLVANE_INT_KEY(ydpi, 72),
    FOLVANE_INT_KEY(mTop, 0),
    FOLVANE_INT_KEY(mLeft, 0),
    FOLVANE_INT_KEY(mRight, 0),
    FOLVANE_INT_KEY(mBottom, 0),
    FOLVANE_INT_KEY(layout, 1),
    FOLVANE_INT_KEY(order, 0),
    FOLVANE_INT_KEY(repeat, 0),
    FOLVANE_INT_KEY(border, 0),
    FOLVANE_INT_KEY(header, 0),
    FOLVANE_TEXT_KEY(hWatermark),
    FOLVANE_INT_KEY(hpos, 0),
    FOLVANE_INT_KEY(hcolor, 0),
    FOLVANE_INT_KEY(footer, 0),
    FOLVANE_TEXT_KEY(fWatermark),
    FOLVANE_INT_KEY(fpos, 0),
    FOLVANE_INT_KEY(fcolor, 0),
    FOLVANE_INT_KEY(text, 0),
    FOLVANE_TEXT_KEY(tWatermark),
    FOLVANE_INT_KEY(tpos, 4),
    FOLVANE_INT_KEY(tsize, 12),
    FOLVANE_INT_KEY(tcolor, 0),
    FOLVANE_INT_KEY(image, 0),
    FOLVANE_TEXT_KEY(imgWatermark),
    FOLVANE_INT_KEY(imgpos, 4),
    FOLVANE_INT_KEY(imgWidth, 100),
    FOLVANE_INT_KEY(imgHeight, 100),
    FOLVANE_INT_KEY(security, 0),
    FOLVANE_INT_KEY(copy, 0),
    FOLVANE_INT_KEY(print, 0),
    FOLVANE_INT_KEY(modify, 0),
    FOLVANE_INT_KEY(level, 3), // 256-bit AES unless the file says otherwise
    FOLVANE_TEXT_KEY(user),
    FOLVANE_TEXT_KEY(owner),
    FOLVANE_INT_KEY(document, 0),
    FOLVANE_INT_KEY(zoom, 0),
    FOLVANE_INT_KEY(resize, 0),
    FOLVANE_INT_KEY(center, 0),
    FOLVANE_INT_KEY(fullscreen, 0),
    FOLVANE_INT_KEY(hideMenu, 0),
    FOLVANE_INT_KEY(hideTool, 0),
    FOLVANE_INT_KEY(hideControl, 0),
    FOLVANE_INT_KEY(bookmark, 0),
    FOLVANE_INT_KEY(bookmarksel, 0),
    FOLVANE_INT_KEY(unitforfile, 0),
    FOLVANE_TEXT_KEY(title),
    FOLVANE_TEXT_KEY(subject),
    FOLVANE_TEXT_KEY(author),
    FOLVANE_TEXT_KEY(keywords),
    FOLVANE_TEXT_KEY(creator),
    FOLVANE_TEXT_KEY(producer),
    // Image handling
    FOLVANE_INT_KEY(autoOrient, 1),
    FOLVANE_INT_KEY(lossless, 0),
    FOLVANE_INT_KEY(skewMethod, 1),
    // Searchable scans
    FOLVANE_INT_KEY(ocr, 0),
    OutputSettingKey {"ocrLanguages", nullptr, &OutputSettings::ocrLanguages, 0, "eng"},
});

#undef FOLVANE_INT_KEY
#undef FOLVANE_TEXT_KEY

} // namespace

std::span<const OutputSettingKey> outputSettingKeys()
{
    return kKeys;
}

void loadOutputSettings(const SettingsStore& store, OutputSettings& settings, OutputSettingsReader reader)
{
    OutputSettings loaded; // starts cleared: zeros and empty texts
    for (const OutputSettingKey& key : kKeys) {
        if (key.textField) {
            if (reader == OutputSettingsReader::WatchFolder && std::string_view(key.key) == "producer")
                continue;
            loaded.*key.textField = store.getString(key.key, key.textDefault, kTextCapacity);
        } else {
            loaded.*key.intField = store.getInt(key.key, key.intDefault);
        }
    }
    settings = std::move(loaded);
}

} // namespace folvane::app
