// The engine as the web page's worker calls it: plain C functions over the
// documents the worker copies into the module's memory, read where they lie.
// A document read is kept as its picture under a number until forgotten;
// what comes back to JavaScript is JSON text or bytes in the module's memory,
// valid until the next call.
#include "formats/FormatError.h"
#include "formats/Image.h"
#include "formats/Text.h"
#include "preview/Box.h"
#include "preview/Engine.h"
#include "preview/OutputFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>

namespace {

using namespace glimmer;

std::map<int, Picture> pictures;
int lastId = 0;
std::string text;   // the last JSON answer
Bytes bytes;        // the last bytes answer
Bytes input;        // the next document to read
bool inputLost = false;   // there was no memory for it

// An image as rows of R, G, B, A bytes, as the browser's ImageData holds them.
Bytes rgba(const Image& image)
{
    const auto width = static_cast<std::size_t>(image.width());
    Bytes out(width * 4 * static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        std::byte* to = out.data() + width * 4 * static_cast<std::size_t>(y);
        if (image.format() == PixelFormat::Rgbx8888 || image.format() == PixelFormat::Rgba8888) {
            std::memcpy(to, image.row(y), width * 4);   // already R, G, B, A (or 0xFF)
            continue;
        }
        const std::uint32_t* from = image.row32(y);
        const bool opaque = !image.hasAlpha();
        for (std::size_t x = 0; x < width; ++x, to += 4) {
            const std::uint32_t c = from[x];
            to[0] = static_cast<std::byte>(redOf(c));
            to[1] = static_cast<std::byte>(greenOf(c));
            to[2] = static_cast<std::byte>(blueOf(c));
            to[3] = static_cast<std::byte>(opaque ? 0xFF : alphaOf(c));
        }
    }
    return out;
}

// Runs `make`, turning whatever it raises into the answer "error: why".
template <typename Make>
const std::byte* answer(Make&& make)
{
    text.clear();
    if (!guarded([&] { bytes = make(); }, [](StepFailure failure) { text = std::move(failure.reason); }))
        bytes.clear();
    return bytes.data();
}

const Picture* find(int id)
{
    const auto it = pictures.find(id);
    return it == pictures.end() ? nullptr : &it->second;
}

} // namespace

extern "C" {

// Room for the next document's `length` bytes, for the worker to fill
// before glimmer_read(); null when there is no memory for them.
std::byte* glimmer_input(int length)
{
    input = Bytes();
    inputLost = false;
    try {
        input.resize(static_cast<std::size_t>(std::max(length, 0)));
    } catch (const std::bad_alloc&) {
        inputLost = true;
        return nullptr;
    }
    return input.data();
}

// Reads the document in glimmer_input()'s buffer, named `name`, lets go of
// the buffer and answers with JSON: its number (when it has a preview),
// "status" ("ok", "none" or "unreadable"), "reason", "version", "kind",
// "source", "width" and "height".
const char* glimmer_read(const char* name)
{
    FetchedPreview fetched;
    if (inputLost) {
        fetched.reason = "Out of memory";
        fetched.outOfMemory = true;
    } else {
        MemorySource source(input);
        fetched = readDocument(source, name);
    }
    input = Bytes();
    static constexpr const char* Status[] = {"ok", "none", "unreadable"};
    text = "{\"status\":";
    appendJson(text, Status[static_cast<int>(fetched.status)]);
    if (fetched.status == FetchedPreview::Status::Ok) {
        pictures[++lastId] = fetched.picture;
        text += ",\"id\":" + std::to_string(lastId);
    }
    text += ",\"reason\":";
    appendJson(text, printable(fetched.reason));
    if (fetched.version)
        text += ",\"version\":" + std::to_string(*fetched.version);
    text += ",\"kind\":";
    appendJson(text, fetched.format);
    text += ",\"source\":";
    appendJson(text, fetched.source);
    text += ",\"width\":" + std::to_string(fetched.picture.size().width);
    text += ",\"height\":" + std::to_string(fetched.picture.size().height) + "}";
    return text.c_str();
}

void glimmer_forget(int id)
{
    pictures.erase(id);
}

// The picture `id` as RGBA rows: "box" 1, the box image of a `size` square
// (0: the picture's own size) as the bitmap and JPEG files hold it; "box" 0,
// the picture scaled down to fit `size` (never up; 0: its own size), as
// the thumbnailer's PNG holds it. The width and height follow with
// glimmer_width() and glimmer_height(); null with glimmer_error() on failure.
static Size lastSize;
const std::byte* glimmer_pixels(int id, int size, int box)
{
    return answer([&] {
        const Picture* picture = find(id);
        if (!picture)
            throw std::runtime_error("no such picture");
        const Image image = box ? boxImage(*picture, size) : thumbnailImage(*picture, size);
        if (image.isNull())
            throw std::runtime_error("the preview cannot be drawn");
        lastSize = image.size();
        return rgba(image);
    });
}

// The picture `id` as a file byte for byte as the desktop programs write
// it: "bmp", the 24-bit bitmap of the box image of a `size` square (0: its
// own size); "wmf", the placeable metafile of the picture in its own form;
// "png", the picture scaled down to fit `size` (never up), as the
// thumbnailer writes it. Its length follows with glimmer_length().
const std::byte* glimmer_file(int id, const char* type, int size)
{
    return answer([&] {
        const Picture* picture = find(id);
        if (!picture)
            throw std::runtime_error("no such picture");
        // The page has no JPEG encoder of its own: the browser's makes its JPEG files.
        if (std::strcmp(type, "bmp") == 0)
            return outputFile(*picture, OutputType::Bmp, size);
        if (std::strcmp(type, "wmf") == 0)
            return outputFile(*picture, OutputType::Wmf, size);
        if (std::strcmp(type, "png") == 0)
            return outputFile(*picture, OutputType::Png, size);
        throw std::runtime_error("no such type");
    });
}

int glimmer_width() { return lastSize.width; }
int glimmer_height() { return lastSize.height; }
int glimmer_length() { return static_cast<int>(bytes.size()); }
const char* glimmer_error() { return text.c_str(); }

} // extern "C"
