#include "ioerror.h"

#include <cerrno>

namespace velmor {

int ioErrorCode(int err) {
    switch (err) {
        case ENOENT:
            return kIoFileNotFound;
        case ENOTDIR:
            return kIoPathNotFound;
        case EMFILE:
        case ENFILE:
            return kIoTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return kIoAccessDenied;
        case EIO:
            return 1117;  // device I/O error
        case ENOMEM:
            return 8;  // not enough memory
        case EEXIST:
            return 80;  // file exists
        case EXDEV:
            return 17;  // not the same device
        case EBUSY:
        case ETXTBSY:
            return kIoSharingViolation;
        case EAGAIN:
            return 33;  // lock violation
        case EINVAL:
            return 87;  // invalid parameter
        case ENXIO:
        case ENODEV:
            return kIoNotRegularFile;
        case ENOSPC:
        case EDQUOT:
            return kIoDiskFull;
        case EILSEQ:
            return 123;  // invalid name
        case EFBIG:
            return kIoFileTooLarge;
        case ENAMETOOLONG:
            return 206;
        case ELOOP:
            return 1921;  // link cannot be resolved
        default:
            return kIoUnmappedBase + err;
    }
}

int errnoBehind(int code, int err) {
    if (err == 0) return 0;
    if (ioErrorCode(err) == code) return err;
    return err == ENOENT && code == kIoPathNotFound ? err : 0;  // a folder on the path is missing
}

std::string ioErrorMessage(int code) {
    switch (code) {
        case kIoFileNotFound:
            return "ファイルが見つかりません";
        case kIoPathNotFound:
            return "不正なファイル名です";
        case kIoTooManyOpenFiles:
            return "オープンしたファイルが多すぎます";
        case kIoAccessDenied:
            return "ファイルへのアクセスが拒否されました";
        case kIoFileChanged:
            return "読み込み中にファイルが変更されました";
        default:
            return "I/O エラー (" + std::to_string(code) + ")";
    }
}

std::string keptCopyMessage(int code, const std::string& copy) {
    return ioErrorMessage(code) + "\r\n元の内容は " + copy + " に残してあります";
}

}  // namespace velmor
