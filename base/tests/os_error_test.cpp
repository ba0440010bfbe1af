#include <gtest/gtest.h>

#include <cerrno>

#include "base/error.hpp"

namespace {

TEST(OsError, KeepsTheKindAndThePlatformText) {
#ifndef _WIN32
    const base::Error missing = base::os_error(ENOENT);
    EXPECT_EQ(missing.kind, base::ErrorKind::NotFound);
    EXPECT_EQ(missing.message, "No such file or directory (os error 2)");
    EXPECT_EQ(base::os_error(EEXIST).kind, base::ErrorKind::AlreadyExists);
    EXPECT_EQ(base::os_error(EACCES).kind, base::ErrorKind::PermissionDenied);
#endif
}

}  // namespace
