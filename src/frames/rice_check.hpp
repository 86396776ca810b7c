#pragma once
// Rice-compressed tiles walked with the decoder's own steps but with bounds, before
// cfitsio decodes them: its decoder reads on past the end of a tile whose bit stream
// is damaged (a run of zero bytes in a unary code), and may crash the program.

#include <cstddef>
#include <cstdint>

namespace morvik::frames {

// True when decoding `pixels` values of `bytePix` bytes (1, 2 or 4) in blocks of
// `blockSize` from these bytes stays inside them. Rice coding as in FITS tile
// compression (White, Greenfield, Pence & Tody, "Tiled Image Convention for Storing
// Compressed Images in FITS Binary Tables", 2013).
bool RiceTileFits(const std::uint8_t* bytes, std::size_t size, long long pixels, int blockSize, int bytePix);

} // namespace morvik::frames
