#include "iv/TiffWriter.h"

#include <QFile>

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

thread_local QString t_lastError;
constexpr int kRowsPerStrip = 64;

void collectError(const char *module, const char *format, va_list arguments)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    t_lastError = module ? QStringLiteral("%1: %2").arg(QString::fromUtf8(module), QString::fromUtf8(text))
                         : QString::fromUtf8(text);
}

// libtiff tells of errors through a handler; they are kept for the caller, not printed.
void installHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(&collectError);
        TIFFSetWarningHandler(nullptr);
    });
}

} // namespace

bool TiffWriter::write(const QString &path, int width, int height, const std::vector<std::uint16_t> &pixels,
                       const QString &description, QString &error)
{
    installHandlers();
    if (width <= 0 || height <= 0 || pixels.size() != std::size_t(width) * std::size_t(height)) {
        error = QStringLiteral("%1: the image has no pixels or the wrong number").arg(path);
        return false;
    }
    const QString partial = path + QStringLiteral(".part");
    t_lastError.clear();
    TIFF *tiff = TIFFOpen(QFile::encodeName(partial).constData(), "w");
    if (!tiff) {
        error = t_lastError.isEmpty() ? QStringLiteral("%1: cannot be written").arg(partial) : t_lastError;
        return false;
    }
    const QByteArray text = description.toUtf8();
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, std::uint32_t(kRowsPerStrip));
    TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, text.constData());
    TIFFSetField(tiff, TIFFTAG_SOFTWARE, "tavrel");
    bool ok = true;
    // A strip at a time (a row at a time costs more than the writing); libtiff may change what
    // it is given (byte order), so each strip goes out from a copy.
    std::vector<std::uint16_t> strip(std::size_t(kRowsPerStrip) * std::size_t(width));
    for (int y = 0, index = 0; y < height && ok; y += kRowsPerStrip, ++index) {
        const std::size_t count = std::size_t(std::min(kRowsPerStrip, height - y)) * std::size_t(width);
        std::copy_n(pixels.data() + std::size_t(y) * std::size_t(width), count, strip.begin());
        ok = TIFFWriteEncodedStrip(tiff, std::uint32_t(index), strip.data(), tmsize_t(count * sizeof(std::uint16_t))) >= 0;
    }
    ok = ok && TIFFFlush(tiff) == 1;
    TIFFClose(tiff);
    if (!ok) {
        error = t_lastError.isEmpty() ? QStringLiteral("%1: writing failed").arg(partial) : t_lastError;
        QFile::remove(partial);
        return false;
    }
    QFile::remove(path);
    if (!QFile::rename(partial, path)) {
        error = QStringLiteral("%1: cannot be renamed to %2").arg(partial, path);
        QFile::remove(partial);
        return false;
    }
    return true;
}

bool TiffWriter::read(const QString &path, Image &image, QString &error)
{
    installHandlers();
    t_lastError.clear();
    TIFF *tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tiff) {
        error = t_lastError.isEmpty() ? QStringLiteral("%1: cannot be read").arg(path) : t_lastError;
        return false;
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bits = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    char *description = nullptr;
    image.description = TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description) && description
                            ? QString::fromUtf8(description)
                            : QString();
    bool ok = bits == 16 && width > 0 && height > 0;
    image.width = int(width);
    image.height = int(height);
    image.pixels.assign(ok ? std::size_t(width) * height : 0, 0);
    for (std::uint32_t y = 0; y < height && ok; ++y)
        ok = TIFFReadScanline(tiff, image.pixels.data() + std::size_t(y) * width, y, 0) >= 0;
    TIFFClose(tiff);
    if (!ok)
        error = t_lastError.isEmpty() ? QStringLiteral("%1: not a 16-bit grey image").arg(path) : t_lastError;
    return ok;
}
