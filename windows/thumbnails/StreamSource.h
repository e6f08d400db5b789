#pragma once

#include "formats/ByteSource.h"

#include <cstdint>
#include <optional>

struct IStream;

namespace glimmer::shell {

// The document's bytes as Explorer hands them over: a stream read at an
// offset (Seek, then Read), its size from Stat. Nothing is read ahead or
// kept beyond what the engine asks for. The stream is borrowed: it must
// outlive the source.
class StreamSource final : public ByteSource {
public:
    explicit StreamSource(IStream* stream) noexcept : stream_(stream) {}

    std::uint64_t size() override;
    std::size_t readAt(std::uint64_t offset, std::span<std::byte> into) override;

    // The HRESULT of the stream's first failure; 0 (S_OK) while it has not failed.
    long failure() const noexcept { return failure_; }

private:
    [[noreturn]] void fail(long result);

    IStream* stream_;
    std::optional<std::uint64_t> size_;
    std::optional<std::uint64_t> position_;   // where the stream stands, when known
    long failure_ = 0;
};

} // namespace glimmer::shell
