#include "app/convert/Convert.h"

#include "formats/FormatError.h"
#include "jpeg/IJL.h"
#include "preview/Engine.h"
#include "preview/OutputFile.h"

#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace glimmer::convert {

namespace {

bool modifiedAfter(const struct stat& a, const struct stat& b)
{
    if (a.st_mtim.tv_sec != b.st_mtim.tv_sec)
        return a.st_mtim.tv_sec > b.st_mtim.tv_sec;
    return a.st_mtim.tv_nsec > b.st_mtim.tv_nsec;
}

ConvertedDocument failed(const std::string& reason)
{
    ConvertedDocument r;
    r.status = ConvertedDocument::Status::Failed;
    r.reason = reason;
    return r;
}

} // namespace

bool isUpToDate(const std::string& document, const std::string& picture)
{
    struct stat doc{};
    struct stat pic{};
    if (::stat(picture.c_str(), &pic) != 0 || !S_ISREG(pic.st_mode))
        return false;
    if (::stat(document.c_str(), &doc) != 0)
        return false;
    return modifiedAfter(pic, doc);
}

StagedDocument convertOne(const Job& job, const Options& options)
{
    if (!job.problem.empty())
        return {failed(job.problem), {}};
    if (!options.force && isUpToDate(job.document, job.output)) {
        ConvertedDocument r;
        r.status = ConvertedDocument::Status::UpToDate;
        return {r, {}};
    }

    FetchedPreview fetched = readDocumentFile(job.document);
    StagedDocument staged;
    ConvertedDocument& r = staged.result;
    r.version = fetched.version;
    r.source = fetched.source;
    r.kind = fetched.format;
    r.size = fetched.picture.size();
    switch (fetched.status) {
    case FetchedPreview::Status::Unreadable:
        r.status = ConvertedDocument::Status::Failed;
        r.reason = fetched.reason;
        return staged;
    case FetchedPreview::Status::NoPreview:
        r.status = ConvertedDocument::Status::NoPreview;
        r.reason = fetched.reason;
        return staged;
    case FetchedPreview::Status::Ok:
        break;
    }

    try {
        const Bytes bytes = outputFile(fetched.picture, options.type, options.size, ijlJpegEncoder);
        // The preview is not needed any longer: one picture per job at a time.
        fetched.picture = Picture();
        if (!options.dryRun) {
            const std::filesystem::path folder(folderOf(job.output));
            std::error_code ec;
            if (!options.outputDir.empty() && !std::filesystem::is_directory(folder, ec)
                && (std::filesystem::create_directories(folder, ec), ec)) {
                r.status = ConvertedDocument::Status::Failed;
                r.reason = "cannot make the folder \"" + folder.native() + "\": " + ec.message();
                return staged;
            }
            staged.picture = StagedFile::stage(job.output, bytes);
        }
    } catch (const IjlError& e) {
        r.status = ConvertedDocument::Status::Failed;
        r.reason = ijlErrorMessage(e.what(), e.code());
        return staged;
    } catch (const std::exception& e) {
        r.status = ConvertedDocument::Status::Failed;
        r.reason = e.what();
        return staged;
    }
    r.status = ConvertedDocument::Status::Written;
    return staged;
}

ConvertedDocument commit(StagedDocument document)
{
    if (document.picture) {
        try {
            document.picture->commit();
        } catch (const FileError& e) {
            document.result.status = ConvertedDocument::Status::Failed;
            document.result.reason = e.what();
        }
    }
    return std::move(document.result);
}

} // namespace glimmer::convert
