#include "system/Sandbox.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#if defined(__linux__)
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>
#endif

// The sanitizers' run time needs more than the program itself: LeakSanitizer
// stops the threads at exit by starting a tracer (clone, ptrace, wait4,
// prctl) and reads /proc/self/maps and /proc/self/task to find the memory to
// scan. Sanitizer builds allow that much more; no other build does.
#if defined(__SANITIZE_ADDRESS__)
#define GLIMMER_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GLIMMER_SANITIZED 1
#endif
#endif

namespace glimmer::sandbox {

bool disabledByEnvironment()
{
    const char* value = std::getenv("GLIMMER_NO_SANDBOX");
    return value && std::strcmp(value, "1") == 0;
}

#if defined(__linux__) && (defined(__x86_64__) || defined(__aarch64__))

namespace {

#if defined(__x86_64__)
constexpr std::uint32_t Architecture = AUDIT_ARCH_X86_64;
#else
constexpr std::uint32_t Architecture = AUDIT_ARCH_AARCH64;
#endif

constexpr std::uint32_t Allow = SECCOMP_RET_ALLOW;
constexpr std::uint32_t Refuse = SECCOMP_RET_ERRNO | EPERM;

// The low 32 bits of argument `i` in struct seccomp_data.
constexpr std::uint32_t argumentLow(int i)
{
    return static_cast<std::uint32_t>(offsetof(seccomp_data, args) + 8 * static_cast<std::size_t>(i)
                                      + (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0));
}

// A BPF program: the architecture checked, then a binary search on the call
// number down to short runs of tests, each of which decides. A search,
// because the kernel runs the filter over every call number when it is
// installed (to learn which calls it always allows): a plain list of a
// hundred tests cost a thumbnailer run some 0.15 ms more.
class Filter {
public:
    // `number` gets `action`.
    void call(long number, std::uint32_t action) { rules_.push_back({number, {ret(action)}}); }

    // `number` is allowed when the low word of argument `i` has none of `bits`.
    void callWithout(long number, int i, std::uint32_t bits) { callTesting(number, i, BPF_JSET | BPF_K, bits, Refuse, Allow); }

    // `number` is allowed when the low word of argument `i` is `value`.
    void callWith(long number, int i, std::uint32_t value) { callTesting(number, i, BPF_JEQ | BPF_K, value, Allow, Refuse); }

    // Sets the action of every other call and installs the filter.
    void install(std::uint32_t otherwise, bool allThreads)
    {
        std::sort(rules_.begin(), rules_.end(), [](const Rule& a, const Rule& b) { return a.number < b.number; });
        // Another architecture's numbers mean other calls: such a call (a
        // 32-bit one from a 64-bit process) ends the process.
        std::vector<sock_filter> code = {
            load(offsetof(seccomp_data, arch)),
            jump(BPF_JEQ | BPF_K, Architecture, 1, 0),
            ret(SECCOMP_RET_KILL_PROCESS),
            load(offsetof(seccomp_data, nr)),
#if defined(__x86_64__)
            jump(BPF_JGE | BPF_K, 0x40000000, 0, 1),   // the x32 calls
            ret(SECCOMP_RET_KILL_PROCESS),
#endif
        };
        const std::vector<sock_filter> search = tree(0, rules_.size(), otherwise);
        code.insert(code.end(), search.begin(), search.end());
        const sock_fprog program{static_cast<unsigned short>(code.size()), code.data()};
        // SPEC_ALLOW: without it the kernel also turns on its defence against
        // speculative store bypass for the process, which guards secrets
        // inside one address space from code running in it (a script
        // engine's sandbox); ours holds none from itself.
        const unsigned flags = SECCOMP_FILTER_FLAG_SPEC_ALLOW | (allThreads ? SECCOMP_FILTER_FLAG_TSYNC : 0);
        if (::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, flags, &program) != 0)
            throw std::system_error(errno, std::generic_category(), "cannot install the system call filter");
    }

private:
    struct Rule {
        long number;
        std::vector<sock_filter> decide;   // ends in a return on every path
    };

    static sock_filter load(std::uint32_t offset) { return BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset); }
    static sock_filter ret(std::uint32_t action) { return BPF_STMT(BPF_RET | BPF_K, action); }
    static sock_filter jump(std::uint16_t test, std::uint32_t value, std::size_t ifTrue, std::size_t ifFalse)
    {
        if (ifTrue > 255 || ifFalse > 255)
            throw std::length_error("system call filter: jump too far");
        return BPF_JUMP(static_cast<std::uint16_t>(BPF_JMP | test), value, static_cast<std::uint8_t>(ifTrue),
                        static_cast<std::uint8_t>(ifFalse));
    }

    void callTesting(long number, int i, std::uint16_t test, std::uint32_t value, std::uint32_t ifTrue, std::uint32_t ifFalse)
    {
        rules_.push_back({number, {load(argumentLow(i)), jump(test, value, 0, 1), ret(ifTrue), ret(ifFalse)}});
    }

    // The tests of rules_[first, last), the call number in the accumulator;
    // every path returns.
    std::vector<sock_filter> tree(std::size_t first, std::size_t last, std::uint32_t otherwise) const
    {
        std::vector<sock_filter> code;
        if (last - first <= 4) {
            for (std::size_t i = first; i < last; ++i) {
                const Rule& r = rules_[i];
                code.push_back(jump(BPF_JEQ | BPF_K, static_cast<std::uint32_t>(r.number), 0, r.decide.size()));
                code.insert(code.end(), r.decide.begin(), r.decide.end());
            }
            code.push_back(ret(otherwise));
            return code;
        }
        const std::size_t middle = first + (last - first) / 2;
        const std::vector<sock_filter> below = tree(first, middle, otherwise);
        const std::vector<sock_filter> above = tree(middle, last, otherwise);
        code.push_back(jump(BPF_JGE | BPF_K, static_cast<std::uint32_t>(rules_[middle].number), below.size(), 0));
        code.insert(code.end(), below.begin(), below.end());
        code.insert(code.end(), above.begin(), above.end());
        return code;
    }

    std::vector<Rule> rules_;
};

void noNewPrivileges()
{
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot drop privileges");
}

// The calls a program that only finishes its picture makes.
void allowHeldFiles(Filter& f)
{
    for (const long number : {
             SYS_read, SYS_write, SYS_readv, SYS_writev, SYS_pread64, SYS_pwrite64, SYS_lseek, SYS_close,
             SYS_fstat, SYS_newfstatat, SYS_statx, SYS_faccessat,
#if defined(SYS_faccessat2)
             SYS_faccessat2,
#endif
#if defined(__x86_64__)
             SYS_stat, SYS_lstat, SYS_access, SYS_rename, SYS_unlink,
#endif
             SYS_renameat, SYS_renameat2, SYS_unlinkat,   // the temporary file into place, or away
             SYS_munmap, SYS_mremap, SYS_madvise, SYS_brk, SYS_futex, SYS_getrandom,
             SYS_rt_sigreturn, SYS_rt_sigprocmask, SYS_getpid, SYS_gettid, SYS_clock_gettime, SYS_exit,
             SYS_exit_group})
        f.call(number, Allow);
    f.callWithout(SYS_mmap, 2, PROT_EXEC);
    f.callWithout(SYS_mprotect, 2, PROT_EXEC);
    // abort() and raise(): signals to this process only.
    const auto self = static_cast<std::uint32_t>(::getpid());
    f.callWith(SYS_tgkill, 0, self);
    f.callWith(SYS_kill, 0, self);
#if GLIMMER_SANITIZED
    // What LeakSanitizer's tracer needs (see the top); also a pipe to learn
    // whether memory is readable (the vptr checks of UndefinedBehaviorSanitizer)
    // and, for a report, /proc/self/cmdline and whether standard error is a
    // terminal. Files are opened for reading only (and Landlock, where the
    // kernel has it, keeps them below /proc).
    for (const long number : {SYS_getdents64, SYS_clone, SYS_ptrace, SYS_wait4, SYS_prctl, SYS_sched_yield, SYS_getppid,
                              SYS_sigaltstack, SYS_rt_sigaction, SYS_readlinkat, SYS_pipe2, SYS_ioctl,
#if defined(__x86_64__)
                              SYS_readlink, SYS_pipe, SYS_getdents,
#endif
                              SYS_sched_getaffinity, SYS_getrlimit, SYS_prlimit64})
        f.call(number, Allow);
    f.callWithout(SYS_openat, 2, O_ACCMODE | O_CREAT | O_TRUNC);
#if defined(__x86_64__)
    f.callWithout(SYS_open, 1, O_ACCMODE | O_CREAT | O_TRUNC);
#endif
#endif
}

void refuseExecAndNetwork(Filter& f)
{
    for (const long number : {
             SYS_execve, SYS_execveat,
             SYS_socket, SYS_socketpair, SYS_connect, SYS_bind, SYS_listen, SYS_accept, SYS_accept4,
#if !GLIMMER_SANITIZED
             SYS_ptrace,
#endif
             SYS_process_vm_readv, SYS_process_vm_writev, SYS_io_uring_setup, SYS_io_uring_enter,
             SYS_io_uring_register, SYS_bpf, SYS_userfaultfd, SYS_perf_event_open, SYS_keyctl, SYS_add_key,
             SYS_request_key, SYS_mount, SYS_umount2, SYS_pivot_root, SYS_chroot, SYS_unshare, SYS_setns})
        f.call(number, Refuse);
}

// Landlock's interface, for kernels newer than the installed headers.
constexpr long CreateRuleset = 444;
constexpr long AddRule = 445;
constexpr long RestrictSelf = 446;
constexpr std::uint32_t RulesetVersion = 1;
constexpr int RulePathBeneath = 1;

struct RulesetAttributes {
    std::uint64_t handledAccessFs;
    std::uint64_t handledAccessNet;   // ABI 4
    std::uint64_t scoped;             // ABI 6
};

struct __attribute__((packed)) PathBeneath {
    std::uint64_t allowedAccess;
    std::int32_t parentFd;
};

enum : std::uint64_t {
    Execute = 1ULL << 0,
    WriteFile = 1ULL << 1,
    ReadFile = 1ULL << 2,
    ReadDir = 1ULL << 3,
    RemoveFile = 1ULL << 5,
    MakeDir = 1ULL << 7,
    MakeReg = 1ULL << 8,
    Refer = 1ULL << 13,       // ABI 2
    Truncate = 1ULL << 14,    // ABI 3
    IoctlDev = 1ULL << 15,    // ABI 5
    AllOfAbi1 = (1ULL << 13) - 1,
    BindTcp = 1ULL << 0,      // ABI 4
    ConnectTcp = 1ULL << 1,
    ScopeAbstractUnixSocket = 1ULL << 0,   // ABI 6
    ScopeSignal = 1ULL << 1,
};

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

void addRule(const Descriptor& ruleset, const std::string& path, std::uint64_t access, std::uint64_t handled)
{
    const Descriptor at(::open(path.c_str(), O_PATH | O_CLOEXEC));
    struct stat st {};
    if (at.get() < 0 || ::fstat(at.get(), &st) != 0)
        return;   // gone since it was found: there is nothing there to read or write
    if (!S_ISDIR(st.st_mode))
        access &= Execute | WriteFile | ReadFile | Truncate | IoctlDev;
    const PathBeneath rule{access & handled, at.get()};
    if (rule.allowedAccess != 0 && ::syscall(AddRule, ruleset.get(), RulePathBeneath, &rule, 0) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot allow \"" + path + "\"");
}

} // namespace

void restrictCalls(Calls calls)
{
    noNewPrivileges();
    Filter filter;
    if (calls == Calls::HeldFiles) {
        allowHeldFiles(filter);
        filter.install(Refuse, true);
    } else {
        refuseExecAndNetwork(filter);
        filter.install(Allow, true);
    }
}

Landlock restrictFiles(const Files& files)
{
    const long abi = ::syscall(CreateRuleset, nullptr, 0, RulesetVersion);
    if (abi < 1)
        return Landlock::Unsupported;   // ENOSYS: too old; EOPNOTSUPP: turned off at boot
    RulesetAttributes attributes{AllOfAbi1, 0, 0};
    if (abi >= 2)
        attributes.handledAccessFs |= Refer;
    if (abi >= 3)
        attributes.handledAccessFs |= Truncate;
    if (abi >= 4)
        attributes.handledAccessNet = BindTcp | ConnectTcp;
    if (abi >= 5)
        attributes.handledAccessFs |= IoctlDev;
    if (abi >= 6)
        attributes.scoped = ScopeAbstractUnixSocket | ScopeSignal;
    const std::size_t size = abi >= 6 ? sizeof attributes : abi >= 4 ? 2 * sizeof(std::uint64_t) : sizeof(std::uint64_t);
    const Descriptor ruleset(static_cast<int>(::syscall(CreateRuleset, &attributes, size, 0)));
    if (ruleset.get() < 0)
        throw std::system_error(errno, std::generic_category(), "cannot confine the file access");
    const std::uint64_t handled = attributes.handledAccessFs;
    for (const std::string& path : files.readable)
        addRule(ruleset, path, ReadFile | ReadDir, handled);
    const std::uint64_t write = WriteFile | RemoveFile | MakeReg | Truncate | (files.makeFolders ? std::uint64_t{MakeDir} : 0);
    for (const std::string& path : files.writable)
        addRule(ruleset, path, write, handled);
#if GLIMMER_SANITIZED
    addRule(ruleset, "/proc", ReadFile | ReadDir, handled);
#endif
    noNewPrivileges();
    if (::syscall(RestrictSelf, ruleset.get(), 0) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot confine the file access");
    return Landlock::Applied;
}

#else

void restrictCalls(Calls) {}

Landlock restrictFiles(const Files&)
{
    return Landlock::Unsupported;
}

#endif

} // namespace glimmer::sandbox
