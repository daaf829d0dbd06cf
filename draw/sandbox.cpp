// SPDX-License-Identifier: MIT
#include "sandbox.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace tollamere::draw {
namespace {

// Every file system right of Landlock's first version: what this process may
// do is then only what a rule grants.
constexpr std::uint64_t HandledRights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
constexpr std::uint64_t ReadRights = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;

bool EnterLandlock(const std::vector<std::filesystem::path>& readable)
{
    landlock_ruleset_attr attributes{};
    attributes.handled_access_fs = HandledRights;
    const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0);
    if (ruleset < 0)
        return false;
    for (const std::filesystem::path& folder : readable) {
        const int fd = ::open(folder.c_str(), O_PATH | O_CLOEXEC);
        if (fd < 0)
            continue;
        landlock_path_beneath_attr rule{};
        rule.allowed_access = ReadRights;
        rule.parent_fd = fd;
        ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
        ::close(fd);
    }
    const bool entered = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                         ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    ::close(int(ruleset));
    return entered;
}

struct FilterDeleter {
    void operator()(void* filter) const { seccomp_release(filter); }
};

void Deny(scmp_filter_ctx filter, int error, int call)
{
    if (seccomp_rule_add(filter, SCMP_ACT_ERRNO(error), call, 0) != 0)
        throw std::runtime_error("seccomp_rule_add");
}

// An open whose flags (argument `flagsAt`) ask to write, create or truncate
// fails with EACCES.
void DenyWritingOpen(scmp_filter_ctx filter, int call, unsigned flagsAt)
{
    const auto masked = [&](scmp_datum_t mask, scmp_datum_t value) {
        return scmp_arg_cmp{flagsAt, SCMP_CMP_MASKED_EQ, mask, value};
    };
    const scmp_arg_cmp writes[] = {masked(O_ACCMODE, O_WRONLY), masked(O_ACCMODE, O_RDWR), masked(O_CREAT, O_CREAT),
                                   masked(O_TRUNC, O_TRUNC), masked(O_APPEND, O_APPEND)};
    for (const scmp_arg_cmp& test : writes)
        if (seccomp_rule_add_array(filter, SCMP_ACT_ERRNO(EACCES), call, 1, &test) != 0)
            throw std::runtime_error("seccomp_rule_add");
}

void EnterSeccomp()
{
    const std::unique_ptr<void, FilterDeleter> owned(seccomp_init(SCMP_ACT_ALLOW));
    scmp_filter_ctx filter = owned.get();
    if (filter == nullptr)
        throw std::runtime_error("seccomp_init");
    DenyWritingOpen(filter, SCMP_SYS(open), 1);
    DenyWritingOpen(filter, SCMP_SYS(openat), 2);
    // Its flags sit in a structure the filter cannot read; the C library
    // falls back on openat when it is missing.
    Deny(filter, ENOSYS, SCMP_SYS(openat2));
    for (const int call :
         {SCMP_SYS(creat), SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(fork), SCMP_SYS(vfork), SCMP_SYS(socket),
          SCMP_SYS(socketpair), SCMP_SYS(connect), SCMP_SYS(bind), SCMP_SYS(listen), SCMP_SYS(accept),
          SCMP_SYS(accept4), SCMP_SYS(ptrace), SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev),
          SCMP_SYS(mkdir), SCMP_SYS(mkdirat), SCMP_SYS(unlink), SCMP_SYS(unlinkat), SCMP_SYS(rename),
          SCMP_SYS(renameat), SCMP_SYS(renameat2), SCMP_SYS(link), SCMP_SYS(linkat), SCMP_SYS(symlink),
          SCMP_SYS(symlinkat), SCMP_SYS(truncate), SCMP_SYS(chmod), SCMP_SYS(fchmodat), SCMP_SYS(chown),
          SCMP_SYS(fchownat), SCMP_SYS(lchown), SCMP_SYS(mknod), SCMP_SYS(mknodat), SCMP_SYS(mount),
          SCMP_SYS(umount2), SCMP_SYS(setns), SCMP_SYS(unshare), SCMP_SYS(memfd_create)})
        Deny(filter, EPERM, call);
    // Threads, yes (the renderer's filters use them); new processes, no.
    // clone3 passes its flags in a structure too; the C library then
    // makes its threads with clone.
    const scmp_arg_cmp process{0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0};
    if (seccomp_rule_add_array(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(clone), 1, &process) != 0)
        throw std::runtime_error("seccomp_rule_add");
    Deny(filter, ENOSYS, SCMP_SYS(clone3));
    if (seccomp_load(filter) != 0)
        throw std::runtime_error("seccomp_load");
}

} // namespace

void EnterSandbox(const std::vector<std::filesystem::path>& readable, bool& landlocked)
{
    landlocked = EnterLandlock(readable);
    EnterSeccomp();
}

} // namespace tollamere::draw
