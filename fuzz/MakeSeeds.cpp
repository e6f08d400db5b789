// Writes the document seed corpus: small documents built from scratch, each
// kind of preview, both sector sizes, and the damage the tests refuse.
// Run from the project root: build/<preset>/fuzz/make_document_seeds fuzz/corpus/document
#include "fuzz/support/SeedDocuments.h"
#include "tests/support/CompoundFileEditor.h"

#include <QGuiApplication>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace glimmer;
using namespace glimmer::seeds;

namespace {

void save(const std::filesystem::path& folder, const char* name, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::printf("%s: %zu bytes\n", name, bytes.size());
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::filesystem::create_directories(folder);
    save(folder, "metafile-preview.ipt", document(Preview::Metafile));
    save(folder, "dib-preview.ipt", document(Preview::Dib));
    save(folder, "png-preview.ipt", document(Preview::Png));
    save(folder, "large-metafile-preview.iam", document(Preview::LargeMetafile));
    save(folder, "standard-set-preview.idw", document(Preview::Dib, true));
    save(folder, "no-preview.ipn", document(Preview::None));
    save(folder, "sector-4096.ipt", document(Preview::Png, false, 4096));
    save(folder, "chain-cycle.iam", chainCycleDocument());
    save(folder, "huge-stream.ipt", hugeStreamDocument());
    save(folder, "billion-records.ipt", billionRecordDocument());
    return 0;
}
