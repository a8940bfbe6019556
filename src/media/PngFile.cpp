// PngFile: libpng's simplified read and write (no setjmp in our code).
#include "media/PngFile.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "media/AtomicFile.h"

bool writePng(const std::string& path, const RgbImage& image, std::string& error) {
    if (image.empty() || image.pixels.size() != static_cast<size_t>(image.width) * image.height * 3) {
        error = "cannot write '" + path + "': the picture has no pixels";
        return false;
    }
    std::unique_ptr<AtomicFile> file = AtomicFile::create(path, error);
    if (!file) return false;
    std::FILE* out = std::fopen(file->tempPath().c_str(), "wb");
    if (!out) {
        error = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    png_image png;
    std::memset(&png, 0, sizeof(png));
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    const int written = png_image_write_to_stdio(&png, out, 0, image.pixels.data(), image.width * 3, nullptr);
    const std::string pngMessage = png.message;
    png_image_free(&png);
    const bool flushed = std::fflush(out) == 0 && !std::ferror(out);
    const bool closed = std::fclose(out) == 0;
    if (!written || !flushed || !closed) {
        error = "cannot write '" + path + "': " + (written ? std::string(std::strerror(errno)) : pngMessage);
        return false;
    }
    return file->commit(error);
}

bool readPng(const std::string& path, RgbImage& image, std::string& error) {
    png_image png;
    std::memset(&png, 0, sizeof(png));
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = "cannot read '" + path + "': " + png.message;
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    image.resize(static_cast<int>(png.width), static_cast<int>(png.height));
    const png_color black = {0, 0, 0};
    if (!png_image_finish_read(&png, &black, image.pixels.data(), image.width * 3, nullptr)) {
        error = "cannot read '" + path + "': " + png.message;
        png_image_free(&png);
        image = RgbImage();
        return false;
    }
    return true;
}
