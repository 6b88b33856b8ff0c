#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "stb_decode.h"

namespace simtest {

unsigned char* decodeImage(const unsigned char* bytes, int size, int* width, int* height, int* channels) {
    return stbi_load_from_memory(bytes, size, width, height, channels, 1);
}

void freeImage(unsigned char* pixels) { stbi_image_free(pixels); }

}  // namespace simtest
