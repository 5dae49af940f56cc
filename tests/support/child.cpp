#include "tests/support/child.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Writes Text to a file of /proc/self; false when it cannot.
bool WriteSelf(const char* File, const std::string& Text)
{
    const int fd = open(File, O_WRONLY | O_CLOEXEC);
    const bool written =
        fd >= 0 && write(fd, Text.data(), Text.size()) == static_cast<ssize_t>(Text.size());
    if (fd >= 0) {
        close(fd);
    }
    return written;
}

// A mount namespace of the child's own: root's, or, for anyone else, one of
// a user namespace in which the caller is itself (same ids, full rights).
bool PrivateNamespace()
{
    if (geteuid() == 0) {
        return unshare(CLONE_NEWNS) == 0;
    }
    const std::string uid = std::to_string(geteuid());
    const std::string gid = std::to_string(getegid());
    return unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 && WriteSelf("/proc/self/setgroups", "deny") &&
           WriteSelf("/proc/self/uid_map", uid + " " + uid + " 1") &&
           WriteSelf("/proc/self/gid_map", gid + " " + gid + " 1");
}

// Whether the mount at / is shared with another namespace, as
// /proc/self/mountinfo says of the last mount there.
bool RootIsShared()
{
    FILE* info = fopen("/proc/self/mountinfo", "re");
    if (info == nullptr) {
        return true; // unknown: as if it were
    }
    bool shared = true;
    char line[4096];
    while (fgets(line, sizeof(line), info) != nullptr) {
        char point[4096];
        if (sscanf(line, "%*s %*s %*s %*s %4095s", point) == 1 && strcmp(point, "/") == 0) {
            const char* tag = strstr(line, " shared:");
            const char* end = strstr(line, " - ");
            shared = tag != nullptr && (end == nullptr || tag < end);
        }
    }
    fclose(info);
    return shared;
}

// Makes the / of a chroot, which is no mount point, one: bound onto itself,
// then entered ("/.." reaches the mount on top). Only where that mount reaches
// no other namespace: a first, childless bind tells, and is undone either way
// (undoing a bind with children would undo their peers elsewhere too).
bool MountRootOnItself()
{
    if (mount("/", "/", nullptr, MS_BIND, nullptr) != 0) {
        return false;
    }
    const bool shared = RootIsShared();
    if (umount2("/..", 0) != 0 || shared) {
        return false;
    }
    return mount("/", "/", nullptr, MS_BIND | MS_REC, nullptr) == 0 && chdir("/..") == 0 &&
           chroot(".") == 0 && chdir("/") == 0;
}

// In the child: a private copy of the mount table with SysRoot on /sys.
bool MountSysRoot(const std::string& SysRoot)
{
    if (!PrivateNamespace()) {
        return false;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 &&
        (errno != EINVAL || !MountRootOnItself() ||
         mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)) {
        return false;
    }
    return mount(SysRoot.c_str(), "/sys", nullptr, MS_BIND | MS_REC, nullptr) == 0;
}

std::string ReadAll(int Fd)
{
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(Fd, chunk, sizeof(chunk));
        if (got <= 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

constexpr int SETUP_FAILED = 125;

} // namespace

ChildRun RunChild(const std::string& Binary, const std::vector<std::string>& Args,
                  const std::vector<std::string>& Environment, const std::string& SysRoot)
{
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        envText.emplace_back(*e);
    }
    envText.insert(envText.end(), Environment.begin(), Environment.end());
    std::vector<char*> env;
    for (auto& e : envText) {
        env.push_back(e.data());
    }
    env.push_back(nullptr);
    // CPUTEMP_RUN_WRAPPER, words split at spaces, runs the child (valgrind, say).
    std::vector<std::string> argText;
    if (const char* wrapper = getenv("CPUTEMP_RUN_WRAPPER")) {
        std::istringstream words(wrapper);
        for (std::string word; words >> word;) {
            argText.push_back(word);
        }
    }
    argText.push_back(Binary);
    argText.insert(argText.end(), Args.begin(), Args.end());
    std::vector<char*> argv;
    for (auto& a : argText) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    int out[2];
    int err[2];
    ChildRun run;
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        return run;
    }
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (!SysRoot.empty() && !MountSysRoot(SysRoot)) {
            perror("private /sys mount");
            _exit(SETUP_FAILED);
        }
        execve(argv[0], argv.data(), env.data());
        perror("execve");
        _exit(SETUP_FAILED);
    }
    close(out[1]);
    close(err[1]);
    // Both outputs are a few lines, far below a pipe's capacity.
    run.Output = ReadAll(out[0]);
    run.Errors = ReadAll(err[0]);
    close(out[0]);
    close(err[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) {
        run.Exited = WIFEXITED(status);
        run.ExitStatus = run.Exited ? WEXITSTATUS(status) : WTERMSIG(status);
    }
    return run;
}

bool CanMountPrivately()
{
    char root[] = "/tmp/cputemp-probe-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        return false;
    }
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(MountSysRoot(root) ? 0 : 1);
    }
    int status = 0;
    const bool ok =
        pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    rmdir(root);
    return ok;
}
