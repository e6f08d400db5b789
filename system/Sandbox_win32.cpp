#include "system/Sandbox.h"
#include "system/Win32Path.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

// Windows: no seccomp and no Landlock, so restrictCalls and restrictFiles do
// nothing and files are read and written with the user's rights; a job
// object takes away starting processes and bounds the memory.
namespace glimmer::sandbox {

bool disabledByEnvironment()
{
    const char* value = std::getenv("GLIMMER_NO_SANDBOX");
    return value && std::strcmp(value, "1") == 0;
}

void restrictCalls(Calls)
{
}

Landlock restrictFiles(const Files&)
{
    return Landlock::Unsupported;
}

namespace {

bool setLimits(HANDLE job, DWORD flags, std::uint64_t memory)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = flags;
    limits.BasicLimitInformation.ActiveProcessLimit = 1;   // this one
    limits.ProcessMemoryLimit = static_cast<SIZE_T>(memory);
    return ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

} // namespace

ProcessLimits restrictProcess(std::uint64_t memory)
{
    ProcessLimits result;
    MEMORYSTATUSEX machine{};
    machine.dwLength = sizeof machine;
    if (::GlobalMemoryStatusEx(&machine) && machine.ullTotalPhys > 0)
        memory = std::min<std::uint64_t>(memory, machine.ullTotalPhys);

    // Never closed: the job ends with the process, its limits with it.
    const HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (!job) {
        result.refused = "no job object (" + win32::errorMessage(::GetLastError()) + ")";
        return result;
    }
    // An unhandled exception ends the process rather than waiting on an
    // error report nobody answers.
    const DWORD always = JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    const DWORD processes = JOB_OBJECT_LIMIT_ACTIVE_PROCESS;
    const DWORD memoryCap = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    DWORD flags = always | processes | memoryCap;
    if (!setLimits(job, flags, memory)) {
        // One at a time, to keep what the system takes.
        const DWORD error = ::GetLastError();
        flags = always;
        for (const DWORD limit : {processes, memoryCap})
            if (setLimits(job, flags | limit, memory))
                flags |= limit;
        const std::string what = !(flags & processes) && !(flags & memoryCap) ? "the limits were"
                                 : !(flags & processes)                      ? "the limit of processes was"
                                 : !(flags & memoryCap)                      ? "the memory cap was"
                                                                             : "";
        if (!what.empty())
            result.refused = what + " refused (" + win32::errorMessage(error) + ")";
    }
    if (!::AssignProcessToJobObject(job, ::GetCurrentProcess())) {
        result.refused = "the process could not join its job object (" + win32::errorMessage(::GetLastError()) + ")";
        return result;
    }
    result.noProcesses = flags & processes;
    result.memory = flags & memoryCap ? memory : 0;
    using WineVersion = const char*(__cdecl*)();
    if (const auto version = reinterpret_cast<WineVersion>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))))
        result.wine = version();
    return result;
}

} // namespace glimmer::sandbox
