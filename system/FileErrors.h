#pragma once

#include "system/Files.h"

#include <string>

// The errors of writing files in the words of every system's file layer
// (Files_posix.cpp, Files_win32.cpp), which find out what is in the way.
namespace glimmer::files {

enum class InTheWay {
    MissingFolder,   // the folder is missing, or is not a folder
    Folder,          // a folder has the file's name
    NotWritable,     // the folder or the file may not be written
    Other,
};

std::string quoted(const std::string& path);

// The error for `path`, which could not be written for `reason` (the
// system's text for `error`), by what is in the way.
FileError writeError(const std::string& path, int error, const std::string& reason, InTheWay what);

// `path` is something other than a regular file, which `what` says.
FileError notAFile(const std::string& path, const std::string& what, int error = 0);

// A staged file used after its commit, or moved from.
FileError notStaged(const std::string& path);

} // namespace glimmer::files
