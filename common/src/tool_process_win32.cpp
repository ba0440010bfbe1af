#include <windows.h>

#include <QProcess>
#include <QString>
#include <string>

#include "tool_process.hpp"

namespace common {

base::Result<void> start_tool(QProcess& process) {
    // The tool is a console program; started from a windowed one it would open a console window. It
    // may be writing a device when the station is interrupted: in a process group of its own, where
    // Windows turns Ctrl+C off, a console control event meant for the station's group does not reach it.
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
        args->flags |= CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP;
    });
    process.start(QIODevice::ReadOnly);
    if (process.waitForStarted(-1)) return {};

    // Qt reports a failed CreateProcess only as text; the file's own state gives back the system error.
    const std::wstring path = process.program().toStdWString();
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::unexpected(base::last_os_error());
    return base::fail(base::ErrorKind::Other, process.errorString().toStdString());
}

}  // namespace common
