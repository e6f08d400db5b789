#include "StreamSource.h"

#include "system/Win32Path.h"

#include <objidl.h>
#include <windows.h>

#include <algorithm>

namespace glimmer::shell {

void StreamSource::fail(long result)
{
    if (failure_ == S_OK)
        failure_ = result;
    position_.reset();
    throw FormatError(FormatError::Code::Io, "cannot be read: " + win32::errorMessage(static_cast<unsigned long>(result)));
}

std::uint64_t StreamSource::size()
{
    if (!size_) {
        STATSTG stat {};
        const HRESULT result = stream_->Stat(&stat, STATFLAG_NONAME);
        if (FAILED(result))
            fail(result);
        size_ = stat.cbSize.QuadPart;
    }
    return *size_;
}

std::size_t StreamSource::readAt(std::uint64_t offset, std::span<std::byte> into)
{
    if (position_ != offset) {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(std::min<std::uint64_t>(offset, INT64_MAX));
        ULARGE_INTEGER at {};
        const HRESULT result = stream_->Seek(to, STREAM_SEEK_SET, &at);
        if (FAILED(result))
            fail(result);
        position_ = at.QuadPart;
    }
    std::size_t done = 0;
    while (done < into.size()) {
        const ULONG want = static_cast<ULONG>(std::min<std::size_t>(into.size() - done, 1u << 30));
        ULONG got = 0;
        const HRESULT result = stream_->Read(into.data() + done, want, &got);
        if (FAILED(result))
            fail(result);
        done += std::min(got, want);
        *position_ += std::min(got, want);
        if (got == 0 || result == S_FALSE)   // the stream's end
            break;
    }
    return done;
}

} // namespace glimmer::shell
