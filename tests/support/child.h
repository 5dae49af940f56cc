// Runs a program as the runtime starts it and collects what it leaves behind.
#pragma once

#include <string>
#include <vector>

struct ChildRun {
    std::string Output; // standard output, byte for byte
    std::string Errors; // standard error
    int ExitStatus = -1;
    bool Exited = false; // false: killed by a signal
};

// Binary runs with Args after argv[0] and the extra "NAME=value" entries in
// Environment. With a SysRoot it runs in a mount namespace of its own in which
// SysRoot is mounted on /sys. When CPUTEMP_RUN_WRAPPER is set, it runs under
// that command (valgrind, say).
ChildRun RunChild(const std::string& Binary, const std::vector<std::string>& Args,
                  const std::vector<std::string>& Environment, const std::string& SysRoot = "");

// Whether this process may make private mounts (root, or a user namespace).
bool CanMountPrivately();
