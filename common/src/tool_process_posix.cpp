#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <cerrno>
#include <string>

#include "tool_process.hpp"

namespace common {

void hide_console_window(QProcess&) {}

// Qt reports a failed exec only as text; the checks exec makes give back the errno behind it.
base::Error start_failure(std::string_view program, const QString& qt_message) {
    const std::string path(program);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return base::last_os_error();
    if (S_ISDIR(info.st_mode)) return base::os_error(EACCES);
    if (::access(path.c_str(), X_OK) != 0) return base::last_os_error();
    return base::Error{base::ErrorKind::Other, qt_message.toStdString()};
}

}  // namespace common
