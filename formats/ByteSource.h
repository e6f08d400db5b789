#pragma once

#include "formats/FormatError.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace glimmer {

// Where a document's bytes come from: anything that can read N bytes at an
// offset (a file, a memory buffer, a Windows IStream). The engine reads
// through one of these and never opens a file itself.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The size in bytes. Raises FormatError (Io) when it cannot be known.
    virtual std::uint64_t size() = 0;
    // Fills `into` from `offset` and returns how many bytes it read: fewer
    // than asked only where the source ends. Raises FormatError (Io) when the
    // medium fails.
    virtual std::size_t readAt(std::uint64_t offset, std::span<std::byte> into) = 0;
};

// Bytes in memory, read where they lie: they must outlive the source.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::byte> bytes) noexcept : bytes_(bytes) {}

    std::uint64_t size() override { return bytes_.size(); }
    std::size_t readAt(std::uint64_t offset, std::span<std::byte> into) override
    {
        if (offset >= bytes_.size())
            return 0;
        const std::size_t n = std::min<std::size_t>(into.size(), bytes_.size() - static_cast<std::size_t>(offset));
        if (n > 0)
            std::memcpy(into.data(), bytes_.data() + offset, n);
        return n;
    }

private:
    std::span<const std::byte> bytes_;
};

} // namespace glimmer
