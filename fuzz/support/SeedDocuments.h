#pragma once

#include "formats/PropertySetStream.h"
#include "fuzz/support/CompoundFileWriter.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace glimmer::seeds {

// Small documents built from scratch, for the fuzz seeds, the hostile-input
// benchmark and the tests of the refusals: never copies of real documents.

// Stream and compoundFile(): fuzz/support/CompoundFileWriter.h.

// A property set stream of one section `fmtid` with a code page and
// property 17 holding `clipboard` (format tag first).
std::vector<std::byte> propertySet(const oleps::Fmtid& fmtid, std::span<const std::byte> clipboard);

// What a seed document carries as its preview.
enum class Preview {
    None,
    Metafile,        // CF_METAFILEPICT: METAFILEPICT16 and a placeable metafile
    Dib,             // CF_DIB: a packed 24-bit bitmap
    Png,             // format tag 3, a PNG file
    LargeMetafile,   // a metafile of more than 4096 bytes, so in big sectors
    LargePng,        // a shaded 320 x 320 PNG, as a real preview's rows are
};

// A document with a version stream and a preview in the CAD summary set
// (or the standard one when `standardSet`).
std::vector<std::uint8_t> document(Preview preview, bool standardSet = false, std::size_t sectorSize = 512);

// Hostile documents the reader must refuse quickly.
// The large preview's sector chain runs back to its own start.
std::vector<std::uint8_t> chainCycleDocument();
// The summary stream says it holds 4 GiB - 1 bytes.
std::vector<std::uint8_t> hugeStreamDocument();
// The preview is a metafile whose header claims a billion records.
std::vector<std::uint8_t> billionRecordDocument();

// A small metafile picture (placeable), and one claiming `words` 16-bit words.
std::vector<std::byte> smallMetafile();
std::vector<std::byte> metafileClaiming(std::uint32_t words);

} // namespace glimmer::seeds
