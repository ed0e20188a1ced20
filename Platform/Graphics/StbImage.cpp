// The image decoder, built into the platform library with the settings downloaded images
// need: only PNG and GIF (Image refuses to hand JPEG to this decoder), no file access, and
// no assert() on hostile data. Debian's prebuilt libstb keeps stb's assertions, and a crafted JPEG
// trips one in the Huffman decoder, which would abort the host; without it stb goes on and the walk
// over the format in Image.cpp, the size limits and the fuzz target (run under AddressSanitizer)
// keep the decoding within its buffers.
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_ASSERT(condition) ((void)0)
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
