// Fuzz target: a document file end to end through the fetch every front end
// uses (open, version, thumbnail or property set, pixels), the box the window
// and the converter draw, the thumbnail the file managers get, the metafile
// file of its preview and the property reader's way. Each must give a result
// or raise FormatError; nothing else may happen.
#include "formats/FormatError.h"
#include "preview/Box.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"
#include "support/InputFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

// The input goes to a file, since documents are read by path: one file in a
// folder made once, in memory where there is /dev/shm.
std::unique_ptr<glimmer::fuzz::InputFile> input;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    input = std::make_unique<glimmer::fuzz::InputFile>("input.ipt");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace glimmer;
    input->write(data, size);

    FileComponents components;
    // The fetch as the front ends run it; a preview it gives must also make
    // the window's box, a thumbnail and a metafile file.
    const FetchedPreview fetched = fetchPreview(components, input->path());
    if (fetched.status == FetchedPreview::Status::Ok) {
        renderBox(fetched.picture, {96, 96});
        thumbnailImage(fetched.picture, 256);
        try {
            fetched.picture.placeableMetafile();
        } catch (const FormatError&) {
        }
    }
    // The property reader's way, whatever the version says.
    try {
        components.createPropertyReader()->OpenPropertySets(input->path())->PreviewPicture().toImage();
    } catch (const FormatError&) {
    }
    // Nothing stays behind, however the run ends.
    input->remove();
    return 0;
}
