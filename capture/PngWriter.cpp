#include "capture/PngWriter.h"

#include <png.h>

#include <cstdio>

#include "capture/CaptureFailure.h"

namespace quorvel::capture {

namespace {

// What the callbacks, called from inside libpng, work on.
struct Encoding {
    const RgbImage* image = nullptr;
    std::string bytes;
    char error[160] = "";  // copied without allocating: libpng's message may live on its stack
};

// Owns the write and info structs: png_destroy_write_struct frees both, on every path.
class PngWriteStructs {
  public:
    explicit PngWriteStructs(Encoding& encoding);
    ~PngWriteStructs() { png_destroy_write_struct(&png_, &info_); }
    PngWriteStructs(const PngWriteStructs&) = delete;
    PngWriteStructs& operator=(const PngWriteStructs&) = delete;

    bool made() const { return png_ && info_; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

  private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// libpng's errors must not return: back to the setjmp in writeRows, with the message kept.
[[noreturn]] void onError(png_structp png, png_const_charp message) {
    Encoding* encoding = static_cast<Encoding*>(png_get_error_ptr(png));
    std::snprintf(encoding->error, sizeof encoding->error, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}  // nothing on standard error, ever

void onWrite(png_structp png, png_bytep data, png_size_t length) {
    // No exception may cross libpng's C frames, and no C++ object may be live when png_error
    // jumps: the failure is noted here and raised after the try block has ended.
    bool outOfMemory = false;
    try {
        static_cast<Encoding*>(png_get_io_ptr(png))
            ->bytes.append(reinterpret_cast<const char*>(data), length);
    } catch (...) {
        outOfMemory = true;
    }
    if (outOfMemory) {
        png_error(png, "out of memory");
    }
}

void onFlush(png_structp) {}

PngWriteStructs::PngWriteStructs(Encoding& encoding)
    : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, &encoding, onError, onWarning)) {
    if (png_) {
        info_ = png_create_info_struct(png_);
    }
}

// Only libpng calls and trivial values between the setjmp and its return: a longjmp out of
// libpng skips no destructor.
bool writeRows(png_structp png, png_infop info, Encoding* encoding) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_write_fn(png, encoding, onWrite, onFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(encoding->image->width),
                 static_cast<png_uint_32>(encoding->image->height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (std::size_t y = 0; y < encoding->image->height; ++y) {
        png_write_row(png, encoding->image->row(y));
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

std::string encodePng(const RgbImage& image) {
    Encoding encoding;
    encoding.image = &image;
    PngWriteStructs structs(encoding);
    if (!structs.made()) {
        throw CaptureFailure("Screen capture failed: libpng could not start (out of memory)");
    }
    if (!writeRows(structs.png(), structs.info(), &encoding)) {
        throw CaptureFailure("Screen capture failed: the PNG could not be written (" +
                             std::string(encoding.error) + ")");
    }
    return std::move(encoding.bytes);
}

}  // namespace quorvel::capture
