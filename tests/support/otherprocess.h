#pragma once

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "document/errors.h"

namespace velmor::testing {

// What a step run in a child process ended with.
struct ChildOutcome {
    bool started = false;  // the child became the user asked for
    bool exited = false;   // it ended by itself, not by a signal
    int ioError = 0;       // the code of the EInOutError it raised, 0 for none
};

// Runs `step` in a child process, as `uid`/`gid` (with only that group, or with
// `groups`) where uid is not -1, after `setup` ran there; the child ends right after.
inline ChildOutcome runInChild(uid_t uid, gid_t gid, const std::vector<gid_t>& groups,
                               const std::function<void()>& step,
                               const std::function<void()>& setup = {}) {
    int channel[2];
    if (::pipe(channel) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(channel[0]);
        int result[2] = {0, 0};
        if (uid != static_cast<uid_t>(-1)) {
            if (::setgroups(groups.size(), groups.data()) != 0 || ::setresgid(gid, gid, gid) != 0 ||
                ::setresuid(uid, uid, uid) != 0) {
                ::_exit(2);
            }
        }
        if (setup) setup();
        result[0] = 1;
        try {
            step();
        } catch (const EInOutError& e) {
            result[1] = e.ErrorCode;
        }
        (void)!::write(channel[1], result, sizeof result);
        ::_exit(0);
    }
    ::close(channel[1]);
    int result[2] = {0, 0};
    bool reported = ::read(channel[0], result, sizeof result) == sizeof result;
    ::close(channel[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {reported && result[0] == 1, WIFEXITED(status) && reported, result[1]};
}

}  // namespace velmor::testing
