// Test helper for checks that need file permissions to apply: runs them in this process, or,
// for root (whom permissions do not stop), in a child process that became "nobody".
#pragma once

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace nvtest {

// Runs `body` where permissions apply; for root, `dir` is given to "nobody" first so that the
// child owns the test directory. Returns what `body` returns (0..254), -1 when privileges
// could not be dropped.
inline int asUnprivileged(const std::string& dir, const std::function<int()>& body) {
    if (geteuid() != 0)
        return body();
    constexpr uid_t kNobody = 65534;
    if (chown(dir.c_str(), kNobody, kNobody) != 0)
        return -1;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(255);
        _exit(body());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

// A fresh directory under /tmp, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/nvlockXXXXXX";
        if (mkdtemp(pattern))
            path = pattern;
    }
    ~TempDir() {
        namespace fs = std::filesystem;
        std::error_code ec;
        if (path.empty())
            return;
        // Tests leave read-only or unreadable entries behind: open them up first.
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it = fs::recursive_directory_iterator(path, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

} // namespace nvtest
