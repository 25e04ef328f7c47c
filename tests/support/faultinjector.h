#pragma once

#include <atomic>
#include <cerrno>
#include <map>
#include <type_traits>
#include <utility>

#include "document/syscalls.h"

namespace velmor::testing {

// Puts counting wrappers around every system call of the file layer for its
// lifetime. It counts the calls of each kind and can make the n-th call of a kind
// (1-based, counted from construction) fail with a chosen errno without making it
// (close excepted, which is made and then reported as failed). Calls from several
// threads are counted as they come. One injector at a time.
class FaultInjector {
  public:
    FaultInjector() : table_(wrappedTable()), scope_(table_) { active() = this; }
    ~FaultInjector() { active() = nullptr; }
    FaultInjector(const FaultInjector&) = delete;
    FaultInjector& operator=(const FaultInjector&) = delete;

    void failNth(sys::Call kind, int n, int err) { failures_[{kind, n}] = err; }
    int count(sys::Call kind) const { return counts_[static_cast<int>(kind)]; }

  private:
    template <sys::Call K, auto Member, typename F>
    struct Wrapper;

    template <sys::Call K, auto Member, typename R, typename... A>
    struct Wrapper<K, Member, R (*)(A...)> {
        static R call(A... args) {
            FaultInjector* self = active();
            int n = ++self->counts_[static_cast<int>(K)];
            auto it = self->failures_.find({K, n});
            if (it != self->failures_.end()) {
                // Linux releases a descriptor even when close fails, and so does this.
                if constexpr (K == sys::Call::Close) (sys::systemCalls().*Member)(args...);
                errno = it->second;
                return static_cast<R>(-1);
            }
            return (sys::systemCalls().*Member)(args...);
        }
    };

    template <sys::Call K, auto Member>
    static constexpr auto wrap() {
        return &Wrapper<K, Member, std::remove_reference_t<decltype(sys::Calls{}.*Member)>>::call;
    }

    static sys::Calls wrappedTable() {
        using C = sys::Call;
        using T = sys::Calls;
        return {wrap<C::Open, &T::open>(),
                wrap<C::CreateTemp, &T::createTemp>(),
                wrap<C::Read, &T::read>(),
                wrap<C::Write, &T::write>(),
                wrap<C::Fsync, &T::fsync>(),
                wrap<C::Close, &T::close>(),
                wrap<C::Fstat, &T::fstat>(),
                wrap<C::Stat, &T::stat>(),
                wrap<C::Lstat, &T::lstat>(),
                wrap<C::Readlink, &T::readlink>(),
                wrap<C::Fchmod, &T::fchmod>(),
                wrap<C::Fchown, &T::fchown>(),
                wrap<C::Ftruncate, &T::ftruncate>(),
                wrap<C::Fallocate, &T::fallocate>(),
                wrap<C::TmpFile, &T::tmpFile>(),
                wrap<C::LinkTemp, &T::linkTemp>(),
                wrap<C::Pread, &T::pread>(),
                wrap<C::Pwrite, &T::pwrite>(),
                wrap<C::CopyAcl, &T::copyAcl>(),
                wrap<C::CopyXattrs, &T::copyXattrs>(),
                wrap<C::FolderFlags, &T::folderFlags>(),
                wrap<C::Lseek, &T::lseek>(),
                wrap<C::SyncRange, &T::syncRange>(),
                wrap<C::StartThread, &T::startThread>(),
                wrap<C::OpenAt, &T::openAt>(),
                wrap<C::FstatAt, &T::fstatAt>(),
                wrap<C::RenameAt, &T::renameAt>(),
                wrap<C::UnlinkAt, &T::unlinkAt>(),
                wrap<C::MkdirAt, &T::mkdirAt>(),
                wrap<C::Flock, &T::flock>(),
                wrap<C::ListFolder, &T::listFolder>()};
    }

    static FaultInjector*& active() {
        static FaultInjector* current = nullptr;
        return current;
    }

    std::atomic<int> counts_[static_cast<int>(sys::Call::Count)] = {};
    std::map<std::pair<sys::Call, int>, int> failures_;
    sys::Calls table_;
    sys::ScopedCalls scope_;
};

}  // namespace velmor::testing
