// vario-dataserver run by a benchmark as a process of its own: on a port the system
// picks, which the server writes to a file, with its output thrown away; ended with
// SIGTERM when the object goes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sockets.h"  // SleepMilliseconds

extern char** environ;

class SpawnedDataServer {
public:
    // Starts PATH --port 0 --port-file FILE ARGS... and waits up to five seconds for its
    // port; Port() is empty when it did not start (the reason is on standard error).
    SpawnedDataServer(const std::string& path, const std::vector<std::string>& args) {
        char port_file[] = "/tmp/vario-bench-port-XXXXXX";
        int fd = mkstemp(port_file);
        if (fd < 0) {
            std::perror("port file");
            return;
        }
        close(fd);
        unlink(port_file);
        std::vector<std::string> words = {path, "--port", "0", "--port-file", port_file};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        int spawned = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            pid_ = 0;
            std::fprintf(stderr, "cannot start %s\n", path.c_str());
            return;
        }
        for (int i = 0; i < 100 && port_.empty(); ++i) {
            platform::SleepMilliseconds(50);
            std::ifstream(port_file) >> port_;
        }
        unlink(port_file);
        if (port_.empty()) std::fprintf(stderr, "%s did not start listening\n", path.c_str());
    }
    ~SpawnedDataServer() { Stop(); }
    SpawnedDataServer(const SpawnedDataServer&) = delete;
    SpawnedDataServer& operator=(const SpawnedDataServer&) = delete;

    const std::string& Port() const { return port_; }

    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    pid_t pid_ = 0;
    std::string port_;
};
