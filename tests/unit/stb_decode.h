// Decoding of the service's image files in the tests (stb_image from
// Debian's libstb-dev), to one grey channel.
#pragma once

namespace simtest {

// Pixels of one grey channel (the caller frees them with freeImage), or null;
// *channels gets the channels the file has.
unsigned char* decodeImage(const unsigned char* bytes, int size, int* width, int* height, int* channels);
void freeImage(unsigned char* pixels);

}  // namespace simtest
