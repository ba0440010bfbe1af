#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "base/error.hpp"

namespace {

struct KindCase {
    int code;
    base::ErrorKind kind;
};

class OsErrorKind : public testing::TestWithParam<KindCase> {};

std::string code_name(const testing::TestParamInfo<KindCase>& info) {
    return "Code" + std::to_string(info.param.code);
}

TEST_P(OsErrorKind, IsTheKindTheCodeMeans) {
    EXPECT_EQ(base::os_error(GetParam().code).kind, GetParam().kind);
}

#ifdef _WIN32
// Windows' own codes: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_FILE_EXISTS,
// ERROR_ALREADY_EXISTS, ERROR_DISK_FULL, ERROR_WRITE_PROTECT, ERROR_BROKEN_PIPE, ERROR_INVALID_PARAMETER,
// ERROR_DIRECTORY, ERROR_TIMEOUT, and ERROR_WRITE_FAULT, which nothing more specific names.
INSTANTIATE_TEST_SUITE_P(
    Windows, OsErrorKind,
    testing::Values(
        KindCase{2, base::ErrorKind::NotFound}, KindCase{3, base::ErrorKind::NotFound},
        KindCase{5, base::ErrorKind::PermissionDenied}, KindCase{80, base::ErrorKind::AlreadyExists},
        KindCase{183, base::ErrorKind::AlreadyExists}, KindCase{112, base::ErrorKind::StorageFull},
        KindCase{19, base::ErrorKind::ReadOnlyFilesystem}, KindCase{109, base::ErrorKind::BrokenPipe},
        KindCase{87, base::ErrorKind::InvalidInput}, KindCase{267, base::ErrorKind::NotADirectory},
        KindCase{1460, base::ErrorKind::TimedOut}, KindCase{29, base::ErrorKind::Other}),
    code_name);

// The texts are the system's and differ between Windows versions and languages: only their shape is fixed.
TEST(OsError, IsThePlatformTextThenTheNumber) {
    const std::string message = base::os_error(2).message;
    const std::string suffix = " (os error 2)";
    ASSERT_GT(message.size(), suffix.size()) << message;
    EXPECT_EQ(message.substr(message.size() - suffix.size()), suffix);
    EXPECT_NE(message.front(), ' ') << message;
    EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
}

TEST(OsError, CodeWithoutATextStillSaysWhichItIs) {
    EXPECT_EQ(base::os_error(0x7654321).message, "Unknown error 124076833 (os error 124076833)");
}
#else
INSTANTIATE_TEST_SUITE_P(Posix, OsErrorKind,
                         testing::Values(KindCase{ENOENT, base::ErrorKind::NotFound},
                                         KindCase{EACCES, base::ErrorKind::PermissionDenied},
                                         KindCase{EPERM, base::ErrorKind::PermissionDenied},
                                         KindCase{EEXIST, base::ErrorKind::AlreadyExists},
                                         KindCase{ENOSPC, base::ErrorKind::StorageFull},
                                         KindCase{EISDIR, base::ErrorKind::IsADirectory},
                                         KindCase{EPIPE, base::ErrorKind::BrokenPipe},
                                         KindCase{EIO, base::ErrorKind::Other}),
                         code_name);

TEST(OsError, IsThePlatformTextThenTheNumber) {
    EXPECT_EQ(base::os_error(ENOENT).message, "No such file or directory (os error 2)");
}
#endif

}  // namespace
