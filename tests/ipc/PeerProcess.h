// Starts tests/ipc/heap_peer with a pipe each way on its descriptors 3 (to it) and 4 (from
// it); the destructor kills and reaps it when it still runs.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace heappeer {

struct Peer {
    pid_t pid = -1;
    int toPeer = -1, fromPeer = -1;

    explicit Peer(std::vector<std::string> args) {
        signal(SIGPIPE, SIG_IGN);
        int down[2], up[2];
        if (pipe2(down, O_CLOEXEC) != 0 || pipe2(up, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, down[0], 3);
        posix_spawn_file_actions_adddup2(&actions, up[1], 4);
        args.insert(args.begin(), NVSUPPORT_HEAP_PEER);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(down[0]);
        close(up[1]);
        toPeer = down[1];
        fromPeer = up[0];
    }
    ~Peer() {
        if (pid > 0)
            kill(pid, SIGKILL);
        wait();
        close(toPeer);
        close(fromPeer);
    }

    // Reads `n` bytes, waiting at most 10 s for each part; false when they do not come.
    bool read(void* to, std::size_t n) {
        pollfd p{fromPeer, POLLIN, 0};
        for (auto* at = static_cast<char*>(to); n > 0;) {
            ssize_t got = poll(&p, 1, 10000) == 1 ? ::read(fromPeer, at, n) : -1;
            if (got <= 0)
                return false;
            at += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }

    // What the peer sends up to and including `end`.
    std::string readUntil(char end) {
        std::string text;
        for (char c = 0; c != end && read(&c, 1);)
            text += c;
        return text;
    }

    // Reaps the peer: its exit status, or -1 when it did not exit normally.
    int wait() {
        int status = 0;
        bool exited = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status);
        pid = -1;
        return exited ? WEXITSTATUS(status) : -1;
    }
};

} // namespace heappeer
