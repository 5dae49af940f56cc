#include "tests/support/child.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// In the child: a private copy of the mount table with SysRoot on /sys.
bool MountSysRoot(const std::string& SysRoot)
{
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(SysRoot.c_str(), "/sys", nullptr, MS_BIND | MS_REC, nullptr) == 0;
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
