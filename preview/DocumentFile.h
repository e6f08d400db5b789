#pragma once

#include "formats/CompoundFile.h"
#include "formats/PropertySetStream.h"
#include "preview/Picture.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace glimmer {

// The property sets that may hold a document's preview.
struct KnownPropertySet {
    oleps::Fmtid fmtid;
    const char* streamName;   // its usual root-level stream (UTF-8)
    const char* label;        // what people call it
};
inline constexpr KnownPropertySet CadSummarySet{oleps::fmtid("3D38DE39-0588-4C14-BB37-18F4D5DD31C7"),
                                                "\x05Zrxrt4arFafyu34gYa3l3ohgHg", "CAD summary set"};
inline constexpr KnownPropertySet StandardSummarySet{oleps::fmtid("F29F85E0-4FF9-1068-AB91-08002B27B3D9"),
                                                     "\x05SummaryInformation", "standard summary set"};

// A property set as read from a document, for reading after its file is closed.
struct LoadedPropertySet {
    KnownPropertySet set;
    std::optional<std::vector<std::byte>> stream;
};

// No preview is decoded to more pixels than this.
inline constexpr std::int64_t MaxPreviewPixels = std::int64_t{4096} * 4096;

// A CAD document read from its own file: the version and the preview
// pictures. Every failure raises a FormatError. The file stays open until
// close() or the object's end.
class DocumentFile {
public:
    explicit DocumentFile(const std::string& path);
    explicit DocumentFile(CompoundFile file);

    // Byte 22 × 1000 + the 16-bit value at byte 20 of the newest
    // RSeStorage/V<n>/RSeDb. NotFound when the document has none.
    std::int32_t versionNumber() const;

    // The picture in property 17 of the first of `sets` that has one;
    // NotFound when none has.
    Picture preview(std::initializer_list<KnownPropertySet> sets) const;

    // The whole property set stream with `set`'s FMTID, found by its usual
    // name or else by looking at every property set at the root; nullopt
    // when there is none.
    std::optional<std::vector<std::byte>> propertySetStream(const KnownPropertySet& set) const;

    // The document's own thumbnail (that of version 6000 and later): the
    // picture of the CAD summary set, else of the standard one.
    Picture thumbnail() const;
    // The standard and the CAD summary set, in that order, where an older
    // document keeps its preview.
    std::vector<LoadedPropertySet> summarySets() const;

    const CompoundFile& file() const noexcept { return file_; }
    void close() noexcept { file_.close(); }

private:
    CompoundFile file_;
};

// Property 17 of the section with `set`'s FMTID in a property set stream,
// as clipboard data (format tag first); nullopt when it has none.
std::optional<std::vector<std::byte>> previewIn(std::span<const std::byte> stream, const KnownPropertySet& set);

// The picture in property 17 of the first of `sets` that has one; NotFound
// when none has.
Picture firstPreview(std::span<const LoadedPropertySet> sets);

// Turns clipboard data from property 17 (format tag first) into a picture:
// a metafile is kept as it stands; a PNG or a DIB is decoded to opaque
// pixels. Nothing else is read. Raises FormatError when there is no picture
// we can read.
Picture decodePreview(std::span<const std::byte> clipboardData);

} // namespace glimmer
