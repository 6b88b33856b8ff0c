// PNG encoding with stb_image_write (Debian's libstb-dev; the encoder stays
// inside this file, its functions have internal linkage) and JPEG encoding
// with libjpeg, which writes grey images with one component.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "image.h"

namespace wiasim {

namespace {

void append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

std::vector<uint8_t> encodePng(const Raster& r) {
    std::vector<uint8_t> out;
    stbi_write_png_to_func(append, &out, r.width, r.height, r.channels, r.pixels.data(), r.width * r.channels);
    return out;
}

std::vector<uint8_t> encodeJpeg(const Raster& r, int quality) {
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(r.width);
    c.image_height = static_cast<JDIMENSION>(r.height);
    c.input_components = r.channels;
    c.in_color_space = r.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    const JDIMENSION stride = static_cast<JDIMENSION>(r.width * r.channels);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(r.pixels.data() + c.next_scanline * stride);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

}  // namespace wiasim
