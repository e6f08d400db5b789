#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace glimmer::test {

// Writes `document` (a compound file) to `path` with a stream "Padding" of
// `paddingBytes` zero bytes laid before every sector of its own, so that its
// streams lie after the padding: a large document made from a small one.
// The padding is a hole in the file where the file system allows one; the
// allocation table grows as the padding needs, with extension sectors past
// 109 of its sectors. Throws std::runtime_error when `document` cannot be
// taken apart.
void writePaddedDocument(const std::filesystem::path& path, const std::vector<std::uint8_t>& document,
                         std::uint64_t paddingBytes);

} // namespace glimmer::test
