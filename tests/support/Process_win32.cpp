#include "Process.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <stdexcept>

namespace glimmer::test {

namespace {

std::wstring wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), n);
    return text;
}

std::runtime_error systemError(const char* what)
{
    return std::runtime_error(std::string(what) + ": Windows error " + std::to_string(::GetLastError()));
}

// `argument` as CommandLineToArgvW (and the C library's startup) reads it
// back: quoted when it holds a space, a tab or a quote, or is empty; the
// backslashes before a quote doubled.
void appendQuoted(std::wstring& line, const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        while (i < argument.size() && argument[i] == L'\\') {
            ++backslashes;
            ++i;
        }
        if (i == argument.size()) {
            line.append(backslashes * 2, L'\\');
            break;
        }
        if (argument[i] == L'"')
            line.append(backslashes * 2 + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        line += argument[i];
    }
    line += L'"';
}

// This process's environment with `extra` set over it, as the block
// CreateProcessW takes: sorted by name whatever its case, each ended by a
// nul, the whole by another.
std::wstring environmentWith(const std::vector<std::pair<std::string, std::string>>& extra)
{
    const auto caseless = [](const std::wstring& a, const std::wstring& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](wchar_t x, wchar_t y) { return std::towupper(x) < std::towupper(y); });
    };
    std::map<std::wstring, std::wstring, decltype(caseless)> variables(caseless);
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* e = block; *e; e += std::wcslen(e) + 1) {
            const std::wstring entry = e;
            const std::size_t equals = entry.find(L'=', 1);   // "=C:=C:\\..." names begin with '='
            variables[entry.substr(0, equals)] = equals == std::wstring::npos ? L"" : entry.substr(equals + 1);
        }
        ::FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : extra)
        variables[wide(name)] = wide(value);
    std::wstring block;
    for (const auto& [name, value] : variables)
        block += name + L"=" + value + L'\0';
    return block += L'\0';
}

struct Handle {
    HANDLE h = nullptr;
    ~Handle()
    {
        if (h && h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    }
};

// Reads what is in `pipe` into `into`; false once the pipe is closed.
bool drain(HANDLE pipe, std::string& into)
{
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
            return false;
        if (available == 0)
            return true;
        char buffer[65536];
        DWORD n = 0;
        if (!::ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &n, nullptr))
            return false;
        into.append(buffer, n);
    }
}

// Ctrl+Break reaches only a process on the same console as the sender: a
// test run without one (headless, under CTest) makes one before it starts a
// program it may interrupt.
bool haveConsole()
{
    static const bool console = [] {
        if (::GetConsoleWindow())
            return true;
        // Wine started without a terminal gives a console that takes no
        // events: it is swapped for a new one.
        ::FreeConsole();
        return ::AllocConsole() != 0;
    }();
    return console;
}

} // namespace

std::optional<std::string> findExecutable(const std::string& name)
{
    if (name.find_first_of("/\\") != std::string::npos)
        return name;
    wchar_t found[MAX_PATH];
    for (const wchar_t* extension : {L".exe", L""}) {
        const DWORD n = ::SearchPathW(nullptr, wide(name).c_str(), extension, MAX_PATH, found, nullptr);
        if (n > 0 && n < MAX_PATH) {
            const int size = ::WideCharToMultiByte(CP_UTF8, 0, found, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
            std::string path(static_cast<std::size_t>(size), '\0');
            ::WideCharToMultiByte(CP_UTF8, 0, found, static_cast<int>(n), path.data(), size, nullptr, nullptr);
            return path;
        }
    }
    return std::nullopt;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options)
{
    const std::optional<std::string> path = findExecutable(program);
    ProcessResult result;
    if (!path) {
        result.exitCode = 127;   // as a shell says of a program it cannot find
        return result;
    }
    std::wstring line;
    appendQuoted(line, wide(program));
    for (const std::string& a : arguments) {
        line += L' ';
        appendQuoted(line, wide(a));
    }
    std::wstring environment = environmentWith(options.environment);

    // The read ends stay here; the write ends and NUL for input go to the program.
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle outRead, outWrite, errRead, errWrite, nothing;
    if (!::CreatePipe(&outRead.h, &outWrite.h, &inherited, 0) || !::CreatePipe(&errRead.h, &errWrite.h, &inherited, 0))
        throw systemError("CreatePipe");
    ::SetHandleInformation(outRead.h, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead.h, HANDLE_FLAG_INHERIT, 0);
    nothing.h = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0,
                              nullptr);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing.h;
    startup.hStdOutput = outWrite.h;
    startup.hStdError = errWrite.h;
    if (options.onFirstOutput)
        haveConsole();
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(wide(*path).c_str(), line.data(), nullptr, nullptr, TRUE,
                          CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_PROCESS_GROUP, environment.data(), nullptr, &startup,
                          &process)) {
        result.exitCode = 127;
        return result;
    }
    Handle child{process.hProcess};
    ::CloseHandle(process.hThread);
    ::CloseHandle(outWrite.h);
    ::CloseHandle(errWrite.h);
    outWrite.h = errWrite.h = nullptr;

    // Anonymous pipes cannot be waited on: both are looked at every few
    // milliseconds until the program ends and they are closed (or have been
    // quiet for a while after: a process the program left behind may hold them).
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    bool outOpen = true, errOpen = true, toldOutput = false;
    std::chrono::steady_clock::time_point ended{};
    for (;;) {
        const std::size_t before = result.out.size() + result.err.size();
        outOpen = outOpen && drain(outRead.h, result.out);
        errOpen = errOpen && drain(errRead.h, result.err);
        if (!toldOutput && !result.out.empty() && options.onFirstOutput) {
            toldOutput = true;
            options.onFirstOutput(process.dwProcessId);
        }
        const bool running = ::WaitForSingleObject(child.h, 0) == WAIT_TIMEOUT;
        const auto now = std::chrono::steady_clock::now();
        if (running && now >= deadline) {
            result.timedOut = true;
            ::TerminateProcess(child.h, 1);
            ::WaitForSingleObject(child.h, INFINITE);
            break;
        }
        if (!running && ended == std::chrono::steady_clock::time_point{})
            ended = now;
        if ((!outOpen && !errOpen) || (!running && now - ended > std::chrono::seconds(2)))
            break;
        if (result.out.size() + result.err.size() == before)
            ::Sleep(2);
    }
    DWORD code = 0;
    if (!result.timedOut && ::GetExitCodeProcess(child.h, &code))
        result.exitCode = static_cast<int>(code);
    return result;
}

bool interruptProcess(ProcessId process)
{
    return haveConsole() && ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process);
}

} // namespace glimmer::test
