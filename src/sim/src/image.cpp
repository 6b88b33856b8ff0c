#include "image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace wiasim {

namespace {

// A 5 x 7 font: seven rows of five columns, '#' for ink.
struct Glyph {
    char c;
    const char* rows[7];
};

const Glyph kFont[] = {
    {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
    {'1', {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
    {'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
    {'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
    {'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
    {'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
    {'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
    {'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
    {'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
    {'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'B', {"#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "}},
    {'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
    {'D', {"###  ", "#  # ", "#   #", "#   #", "#   #", "#  # ", "###  "}},
    {'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
    {'F', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "}},
    {'G', {" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ####"}},
    {'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'I', {" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'J', {"  ###", "   # ", "   # ", "   # ", "   # ", "#  # ", " ##  "}},
    {'K', {"#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"}},
    {'L', {"#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"}},
    {'M', {"#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"}},
    {'N', {"#   #", "#   #", "##  #", "# # #", "#  ##", "#   #", "#   #"}},
    {'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'P', {"#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "}},
    {'Q', {" ### ", "#   #", "#   #", "#   #", "# # #", "#  # ", " ## #"}},
    {'R', {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"}},
    {'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
    {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {'U', {"#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'V', {"#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "}},
    {'W', {"#   #", "#   #", "#   #", "# # #", "# # #", "# # #", " # # "}},
    {'X', {"#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"}},
    {'Y', {"#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {'Z', {"#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"}},
    {'-', {"     ", "     ", "     ", "#####", "     ", "     ", "     "}},
    {'.', {"     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "}},
    {'_', {"     ", "     ", "     ", "     ", "     ", "     ", "#####"}},
};

const Glyph* glyphOf(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const Glyph& g : kFont)
        if (g.c == c) return &g;
    return nullptr;  // a space, or a character the font lacks
}

// The label laid out in page fractions: its box and the size of one font cell.
struct TextBox {
    std::vector<const Glyph*> glyphs;
    double x0 = 0, y0 = 0, colW = 0, rowH = 0;
    int cols = 0;
};

TextBox layout(const std::string& label, double centerU, double centerV, double height, double aspect) {
    TextBox t;
    for (char c : label) t.glyphs.push_back(glyphOf(c));
    if (t.glyphs.empty()) return t;
    t.cols = static_cast<int>(t.glyphs.size()) * 6 - 1;
    t.rowH = height / 7;
    t.colW = t.rowH / aspect;  // square cells on paper
    const double width = t.cols * t.colW;
    if (width > 0.9) {
        const double k = 0.9 / width;
        t.colW *= k;
        t.rowH *= k;
    }
    t.x0 = centerU - t.cols * t.colW / 2;
    t.y0 = centerV - 7 * t.rowH / 2;
    return t;
}

// Whether the label has ink at page fraction (u, v).
bool inked(const TextBox& t, double u, double v) {
    if (t.glyphs.empty() || u < t.x0 || v < t.y0) return false;
    const int col = static_cast<int>((u - t.x0) / t.colW);
    const int row = static_cast<int>((v - t.y0) / t.rowH);
    if (col >= t.cols || row >= 7) return false;
    const int cell = col % 6;
    const Glyph* g = t.glyphs[static_cast<size_t>(col / 6)];
    return cell < 5 && g && g->rows[row][cell] == '#';
}

struct Rgb {
    int r, g, b;
};

const Rgb kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                      {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};

// The pattern's colour at page fraction (u, v).
Rgb patternAt(const TextBox& text, double u, double v) {
    if (u < 0.01 || u > 0.99 || v < 0.01 || v > 0.99) return {0, 0, 0};
    if (v < 0.15) return kBars[std::min(7, static_cast<int>(u * 8))];
    if (v < 0.25) {
        const int g = std::clamp(static_cast<int>(u * 256), 0, 255);
        return {g, g, g};
    }
    if (v >= 0.88) {
        const int g = std::min(9, static_cast<int>(u * 10)) * 255 / 9;
        return {g, g, g};
    }
    return inked(text, u, v) ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
}

Rgb pictureAt(const TextBox& text, double u, double v) {
    if (inked(text, u, v)) return {255, 255, 255};
    return {static_cast<int>(u * 255), static_cast<int>(v * 255), 160};
}

// Brightness shifts, contrast stretches around the middle grey.
int adjust(int value, double brightness, double contrast) {
    const double factor = contrast >= 0 ? 1 + 3 * contrast : 1 + contrast;
    const double v = (value - 127.5) * factor + 127.5 + brightness * 127.5;
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

void put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    put16(out, at, v & 0xFFFF);
    put16(out, at + 2, v >> 16);
}

// BMP: file header, BITMAPINFOHEADER, palette for 1 and 8 bits, rows bottom-up
// padded to 4 bytes.
std::vector<uint8_t> encodeBmp(const Raster& r, ImageKind kind, int xres, int yres) {
    const int bits = kind == ImageKind::Colour ? 24 : (kind == ImageKind::Grey ? 8 : 1);
    const uint32_t stride = (static_cast<uint32_t>(r.width) * bits + 31) / 32 * 4;
    const uint32_t colours = bits <= 8 ? (1u << bits) : 0;
    const uint32_t offset = 14 + 40 + colours * 4;
    const uint32_t imageSize = stride * static_cast<uint32_t>(r.height);
    std::vector<uint8_t> out(offset + imageSize, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, offset + imageSize);
    put32(out, 10, offset);
    put32(out, 14, 40);
    put32(out, 18, static_cast<uint32_t>(r.width));
    put32(out, 22, static_cast<uint32_t>(r.height));
    put16(out, 26, 1);
    put16(out, 28, static_cast<uint32_t>(bits));
    put32(out, 30, 0);  // BI_RGB
    put32(out, 34, imageSize);
    put32(out, 38, static_cast<uint32_t>(std::lround(xres / 0.0254)));
    put32(out, 42, static_cast<uint32_t>(std::lround(yres / 0.0254)));
    put32(out, 46, colours);
    put32(out, 50, colours);
    for (uint32_t i = 0; i < colours; ++i) {
        const uint8_t g = static_cast<uint8_t>(colours == 2 ? i * 255 : i);
        out[54 + i * 4] = out[55 + i * 4] = out[56 + i * 4] = g;
    }
    for (int y = 0; y < r.height; ++y) {
        uint8_t* row = out.data() + offset + static_cast<size_t>(r.height - 1 - y) * stride;
        const uint8_t* src = r.pixels.data() + static_cast<size_t>(y) * r.width * r.channels;
        if (bits == 24) {
            for (int x = 0; x < r.width; ++x) {
                row[x * 3] = src[x * 3 + 2];
                row[x * 3 + 1] = src[x * 3 + 1];
                row[x * 3 + 2] = src[x * 3];
            }
        } else if (bits == 8) {
            std::memcpy(row, src, static_cast<size_t>(r.width));
        } else {
            for (int x = 0; x < r.width; ++x)
                if (src[x] >= 128) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    return out;
}

}  // namespace

Raster renderImage(const ImageSpec& spec) {
    Raster r;
    r.width = std::max(1, spec.width);
    r.height = std::max(1, spec.height);
    r.channels = spec.kind == ImageKind::Colour ? 3 : 1;
    r.pixels.resize(static_cast<size_t>(r.width) * r.height * r.channels);
    const int pageW = spec.pageWidth > 0 ? std::max(spec.pageWidth, 1) : r.width;
    const int pageH = spec.pageHeight > 0 ? std::max(spec.pageHeight, 1) : r.height;
    const double aspect = (static_cast<double>(pageW) / std::max(1, spec.xres)) /
                          (static_cast<double>(pageH) / std::max(1, spec.yres));
    const TextBox text = spec.picture ? layout(spec.label, 0.5, 0.5, 0.12, aspect)
                                      : layout(spec.label, 0.5, 0.565, 0.35, aspect);
    uint8_t* out = r.pixels.data();
    for (int y = 0; y < r.height; ++y) {
        const double v = (y + spec.ypos + 0.5) / pageH;
        for (int x = 0; x < r.width; ++x) {
            const double u = (x + spec.xpos + 0.5) / pageW;
            const Rgb c = spec.picture ? pictureAt(text, u, v) : patternAt(text, u, v);
            const int red = adjust(c.r, spec.brightness, spec.contrast);
            const int green = adjust(c.g, spec.brightness, spec.contrast);
            const int blue = adjust(c.b, spec.brightness, spec.contrast);
            if (r.channels == 3) {
                *out++ = static_cast<uint8_t>(red);
                *out++ = static_cast<uint8_t>(green);
                *out++ = static_cast<uint8_t>(blue);
                continue;
            }
            const int grey = (red * 299 + green * 587 + blue * 114) / 1000;
            if (spec.kind == ImageKind::Grey) {
                *out++ = static_cast<uint8_t>(grey);
            } else {
                const int threshold = spec.kind == ImageKind::Dithered ? kBayer[y & 3][x & 3] * 16 + 8 : 128;
                *out++ = grey >= threshold ? 255 : 0;
            }
        }
    }
    return r;
}

std::vector<uint8_t> encodeImage(const Raster& r, const ImageSpec& spec, ImageFormat format) {
    switch (format) {
        case ImageFormat::Png: return encodePng(r);
        case ImageFormat::Jpeg: return encodeJpeg(r, 90);
        default: return encodeBmp(r, spec.kind, spec.xres, spec.yres);
    }
}

const char* formatExtension(ImageFormat f) {
    switch (f) {
        case ImageFormat::Png: return "png";
        case ImageFormat::Jpeg: return "jpg";
        default: return "bmp";
    }
}

}  // namespace wiasim
