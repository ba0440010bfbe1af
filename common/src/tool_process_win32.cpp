#include <windows.h>

#include <QProcess>
#include <QString>
#include <string>

#include "tool_process.hpp"

namespace common {

// The tool is a console program; started from a windowed one it would open a console window.
void hide_console_window(QProcess& process) {
    process.setCreateProcessArgumentsModifier(
        [](QProcess::CreateProcessArguments* args) { args->flags |= CREATE_NO_WINDOW; });
}

// Qt reports a failed CreateProcess only as text; the file's own state gives back the system error.
base::Error start_failure(std::string_view program, const QString& qt_message) {
    const std::wstring path =
        QString::fromUtf8(program.data(), static_cast<qsizetype>(program.size())).toStdWString();
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return base::last_os_error();
    return base::Error{base::ErrorKind::Other, qt_message.toStdString()};
}

}  // namespace common
