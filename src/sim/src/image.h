// The images the service's devices produce: a test pattern rendered at the
// item's settings, written as BMP (the service's own writer), PNG or JPEG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wiasim {

enum class ImageKind { BlackWhite, Dithered, Grey, Colour };
enum class ImageFormat { Bmp, Png, Jpeg };

// One image. The pattern is laid out on the whole page, so that a window
// (position and extent) shows the part of the page it covers:
//   - a black frame;
//   - the top 15%: eight colour bars (white, yellow, cyan, green, magenta, red, blue, black);
//   - then to 25%: a grey ramp from black on the left to white on the right;
//   - the bottom 12%: ten grey steps from black to white;
//   - in between, on white, the label (the page number, "2B" for the back of
//     sheet 2) in big black characters.
// A picture (a camera's) is a colour gradient with its label across it.
struct ImageSpec {
    int width = 0, height = 0;            // the image, in pixels
    int xpos = 0, ypos = 0;               // its place on the page, in pixels
    int pageWidth = 0, pageHeight = 0;    // the page, in pixels (0: the image itself)
    int xres = 300, yres = 300;           // dots per inch
    ImageKind kind = ImageKind::Colour;
    double brightness = 0, contrast = 0;  // each -1 (least) to 1 (most)
    std::string label;
    bool picture = false;
};

// An 8-bit raster: one channel (grey, black and white as 0 / 255) or three (RGB).
struct Raster {
    int width = 0, height = 0, channels = 3;
    std::vector<uint8_t> pixels;  // top row first, no padding
};

Raster renderImage(const ImageSpec& spec);
// The file bytes; 1-bit BMP for black and white, 8-bit grey BMP with a grey
// palette, 24-bit BMP for colour. PNG and JPEG keep one channel for grey and
// black and white.
std::vector<uint8_t> encodeImage(const Raster& r, const ImageSpec& spec, ImageFormat format);

std::vector<uint8_t> encodePng(const Raster& r);
std::vector<uint8_t> encodeJpeg(const Raster& r, int quality);

const char* formatExtension(ImageFormat f);  // "bmp", "png", "jpg"

}  // namespace wiasim
