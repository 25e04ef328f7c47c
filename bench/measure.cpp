#include "measure.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

extern char** environ;

namespace velmor::bench {

std::string runSelf(const std::vector<std::string>& args, const std::string& outputPath) {
    std::vector<std::string> copies = args;
    std::string self = "/proc/self/exe";
    std::vector<char*> argv{self.data()};
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid;
    int err = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) throw std::runtime_error(std::string("posix_spawn: ") + std::strerror(err));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
    }
    std::ifstream in(outputPath);
    std::string output{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("velmor-bench " + args.front() + " failed: " + output);
    }
    return output;
}

}  // namespace velmor::bench
