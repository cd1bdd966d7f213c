#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// Writes a 16-bit grey image as an uncompressed TIFF with a description text (the step's
// energy, beam current, exposure, ...), through a temporary file so that no half-written image
// ever stands under its name.
namespace TiffWriter {

// False with `error` set when the file could not be written.
bool write(const QString &path, int width, int height, const std::vector<std::uint16_t> &pixels,
           const QString &description, QString &error);

// The description of a TIFF file (empty when none), and its pixels: for checking files.
struct Image
{
    int width = 0;
    int height = 0;
    QString description;
    std::vector<std::uint16_t> pixels;
};
bool read(const QString &path, Image &image, QString &error);

} // namespace TiffWriter
