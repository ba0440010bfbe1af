#include "tool_process.hpp"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "base/utf8.hpp"

namespace common {

namespace {

QString from_utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

base::Result<ToolRun> run_tool(std::string_view program, const std::vector<std::string_view>& args) {
    QStringList arguments;
    for (const std::string_view arg : args) arguments.append(from_utf8(arg));

    QProcess process;
    process.setProgram(from_utf8(program));
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    const auto started = start_tool(process);
    if (!started) return std::unexpected(started.error());

    // Qt's wait services both pipes at once, so a tool that fills its error pipe first cannot stall.
    if (!process.waitForFinished(-1) && process.state() != QProcess::NotRunning) {
        return base::fail(base::ErrorKind::Other, process.errorString().toStdString());
    }
    const QByteArray out = process.readAllStandardOutput();
    static_cast<void>(process.readAllStandardError());

    ToolRun run;
    run.output = base::utf8_lossy(std::string_view(out.constData(), static_cast<std::size_t>(out.size())));
    if (process.exitStatus() == QProcess::NormalExit)
        run.exit_code = static_cast<std::uint32_t>(process.exitCode());
    return run;
}

}  // namespace common
