#include "peers.h"

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace velmor::bench {

namespace {

[[noreturn]] void failWithErrno(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

std::size_t iconvConvert(const char* toCode, const char* fromCode, std::string_view in,
                         std::string& out) {
    iconv_t cd = iconv_open(toCode, fromCode);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        failWithErrno(std::string("iconv_open ") + fromCode + " -> " + toCode);
    }
    if (out.size() < iconvBufferSize(in.size())) out.resize(iconvBufferSize(in.size()));
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    std::size_t rejected = 0;
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) break;
        if ((errno != EILSEQ && errno != EINVAL) || dstLeft == 0) {
            iconv_close(cd);
            failWithErrno("iconv");
        }
        *dst++ = *src++;
        --dstLeft;
        --srcLeft;
        ++rejected;
    }
    iconv_close(cd);
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return rejected;
}

void writeAndSync(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) failWithErrno("open " + path);
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    // One call moves it all unless the size exceeds what Linux moves at once.
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n <= 0) {
            ::close(fd);
            failWithErrno("write " + path);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        ::close(fd);
        failWithErrno("fsync " + path);
    }
    if (::close(fd) != 0) failWithErrno("close " + path);
}

}  // namespace velmor::bench
