#pragma once

#include <QList>
#include <QRectF>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

class SettingsStore;

// Areas of the picture left out of the examination, and the user's own
// threshold: section DETECTION of the settings. A mask is a rectangle in
// percent of the picture (left, top, width, height, top measured from the
// picture's top row), stored as "left,top,width,height" under Mask1,
// Mask2, ...; Threshold holds the own threshold in percent, 0 for the
// sensitivity menu's.
//
// Before a frame is measured, every pixel under a mask gets one colour, so
// whatever moves there no longer changes the compressed length; the base
// image is masked the same way, so only the rest of the picture counts.
class DetectionAreas final {
public:
    // The settings are a text file anyone can edit: junk, negative values,
    // NaN or a rectangle with nothing left inside the picture give nothing.
    // What reaches past the picture is cut at its edge.
    static std::optional<QRectF> parse(const QString& text);
    // The same rule for a rectangle from elsewhere.
    static std::optional<QRectF> sane(const QRectF& mask);
    static QString format(const QRectF& mask);

    // Mask1, Mask2, ... up to the first missing or empty key; an entry that
    // does not parse is passed over.
    static QList<QRectF> read(const SettingsStore& store);
    // Writes masks as Mask1.. and empties the entries past them, which ends
    // the list there. False when the file cannot be written.
    static bool write(SettingsStore& store, const QList<QRectF>& masks);

    // The own threshold in percent, 0 to 100; junk or a negative value
    // gives 0 (the menu's threshold), more than 100 gives 100.
    static float readThreshold(const SettingsStore& store);
    static bool writeThreshold(SettingsStore& store, float threshold);
    static float saneThreshold(double percent);

    // Gives the pixels under masks one colour in a frame of 24-bit BGR rows,
    // bottom-up, each padded to a multiple of 4 bytes, as width and height
    // say. Rows the `size` bytes do not hold are left out, so a header that
    // claims more than the frame has can never make it write past the end.
    static void apply(const QList<QRectF>& masks, std::uint8_t* data, std::size_t size,
                      std::uint32_t width, std::uint32_t height);

    // The colour of masked pixels, the same byte for blue, green and red.
    static constexpr std::uint8_t Fill = 0x80;
};
