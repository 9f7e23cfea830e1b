#include "archive/ArchiveError.h"
#include "archive/files/Processes.h"
#include "archive/files/SignalCleanup.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/HelpText.h"
#include "cli/LongRun.h"
#include "cli/UsageError.h"

#include <new>
#include <string>
#include <vector>

namespace {

int run(const std::vector<std::string>& arguments, cli::Console& console)
{
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    const cli::CommandLine line =
        cli::CommandLine::parse(static_cast<int>(arguments.size()), argv.data());
    switch (line.request()) {
    case cli::CommandLine::Request::ProgramHelp:
        console.print(cli::programHelp());
        return cli::kExitSuccess;
    case cli::CommandLine::Request::CommandHelp:
        console.print(cli::commandHelp(line.command()));
        return cli::kExitSuccess;
    case cli::CommandLine::Request::Version:
        console.print("velmora-dat " VELMORA_VERSION "\n");
        return cli::kExitSuccess;
    case cli::CommandLine::Request::Run:
        break;
    }
    if (line.command() == "list")
        return cli::runList(line, console);
    if (line.command() == "extract")
        return cli::runExtract(line, console);
    if (line.command() == "build")
        return cli::runBuild(line, console);
    if (line.command() == "add")
        return cli::runAdd(line, console);
    if (line.command() == "delete")
        return cli::runDelete(line, console);
    if (line.command() == "rename")
        return cli::runRename(line, console);
    if (line.command() == "diff")
        return cli::runDiff(line, console);
    if (line.command() == "patch")
        return cli::runPatch(line, console);
    if (line.command() == "mount")
        return cli::runMount(line, console);
    return cli::runCheck(line, console);
}

} // namespace

int main(int argc, char** argv)
{
    // Before anything is written: no temporary file outlives a signal, and a file-size limit
    // fails the write instead of killing the program.
    archive::SignalCleanup::install();
    archive::processes::useBinaryStandardStreams();
    cli::Console console;
    int status = cli::kExitFailure;
    try {
        status = run(archive::processes::utf8Arguments(argc, argv), console);
    } catch (const cli::UsageError& error) {
        console.error(error.subject(), error.reason());
        status = cli::kExitUsage;
    } catch (const archive::ArchiveError& error) {
        console.error(error);
    } catch (const std::bad_alloc&) {
        console.error("velmora-dat", "out of memory");
    } catch (const std::exception& error) {
        console.error("velmora-dat", error.what());
    }
    if (!console.flush())
        status = cli::kExitFailure;
    return cli::LongRun::exitStatus(status);
}
