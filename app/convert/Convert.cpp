#include "app/convert/Convert.h"
#include "app/convert/System.h"

#include "formats/FormatError.h"
#include "jpeg/IJL.h"
#include "preview/Engine.h"
#include "preview/OutputFile.h"

#include <filesystem>
#include <system_error>

namespace glimmer::convert {

namespace {

ConvertedDocument failed(const std::string& reason)
{
    ConvertedDocument r;
    r.status = ConvertedDocument::Status::Failed;
    r.reason = reason;
    return r;
}

} // namespace

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
            const std::string folderName = folderOf(job.output);
            const std::filesystem::path folder = pathOf(folderName);
            std::error_code ec;
            if (!options.outputDir.empty() && !std::filesystem::is_directory(folder, ec)
                && (std::filesystem::create_directories(folder, ec), ec)) {
                r.status = ConvertedDocument::Status::Failed;
                r.reason = "cannot make the folder \"" + folderName + "\": " + ec.message();
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
