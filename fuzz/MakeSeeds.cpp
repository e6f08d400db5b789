// Writes the document seed corpus: small documents built from scratch, each
// kind of preview, both sector sizes, and the damage the tests refuse; and,
// given a second folder, the small metafile bombs as regression inputs.
// Run from the project root:
// build/<preset>/fuzz/make_document_seeds fuzz/corpus/document fuzz/crashers/metafile
#include "fuzz/support/MetafileBombs.h"
#include "fuzz/support/SeedDocuments.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace glimmer;
using namespace glimmer::seeds;

namespace {

template <class Byte>
void save(const std::filesystem::path& folder, const std::string& name, const std::vector<Byte>& bytes)
{
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::printf("%s: %zu bytes\n", name.c_str(), bytes.size());
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER [METAFILE-FOLDER]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::filesystem::create_directories(folder);
    save(folder, "metafile-preview.ipt", document(Preview::Metafile));
    save(folder, "dib-preview.ipt", document(Preview::Dib));
    save(folder, "png-preview.ipt", document(Preview::Png));
    save(folder, "large-png-preview.ipt", document(Preview::LargePng));
    save(folder, "large-metafile-preview.iam", document(Preview::LargeMetafile));
    save(folder, "standard-set-preview.idw", document(Preview::Dib, true));
    save(folder, "no-preview.ipn", document(Preview::None));
    save(folder, "sector-4096.ipt", document(Preview::Png, false, 4096));
    save(folder, "chain-cycle.iam", chainCycleDocument());
    save(folder, "huge-stream.ipt", hugeStreamDocument());
    save(folder, "billion-records.ipt", billionRecordDocument());
    if (argc == 3) {
        const std::filesystem::path bombs(argv[2]);
        std::filesystem::create_directories(bombs);
        for (const MetafileBomb& bomb : metafileBombs())
            if (bomb.small)
                save(bombs, bomb.name + ".wmf", bomb.bytes);
    }
    return 0;
}
