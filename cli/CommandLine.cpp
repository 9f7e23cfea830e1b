#include "cli/CommandLine.h"

#include "cli/UsageError.h"

#include <array>
#include <string_view>

namespace cli {

namespace {

struct OptionSpec {
    std::string_view name;
    bool takesValue;
    std::string_view shortName = {}; // "-k" for "--keep-old-files"
};

struct CommandSpec {
    std::string_view name;
    std::vector<OptionSpec> options;
    std::vector<std::string_view> operands; // names for "missing X" messages
    bool moreOperands;                      // any number after the named ones
};

const std::array<CommandSpec, 10>& commands()
{
    static const std::array<CommandSpec, 10> table = {{
        {"list",
         {{"--encoding", true}, {"--type", true}, {"--long", false}, {"--json", false}},
         {"ARCHIVE"},
         false},
        {"extract",
         {{"--encoding", true}, {"--type", true}, {"--keep-old-files", false, "-k"}},
         {"ARCHIVE", "DEST"},
         true},
        {"build", {{"--encoding", true}}, {"FOLDER", "ARCHIVE"}, false},
        {"check", {{"--encoding", true}}, {"ARCHIVE"}, false},
        {"add",
         {{"--encoding", true},
          {"--directory", true, "-C"},
          {"--as", true},
          {"--keep-old-files", false, "-k"},
          {"--dry-run", false, "-n"},
          {"--wait", true}},
         {"ARCHIVE", "PATH"},
         true},
        {"delete",
         {{"--encoding", true}, {"--dry-run", false, "-n"}, {"--wait", true}},
         {"ARCHIVE", "NAME"},
         true},
        {"rename",
         {{"--encoding", true}, {"--dry-run", false, "-n"}, {"--wait", true}},
         {"ARCHIVE", "OLD", "NEW"},
         false},
        {"diff",
         {{"--encoding", true},
          {"--json", false},
          {"--quiet", false, "-q"},
          {"--text", true, "-p"},
          {"--patch", true}},
         {"OLD", "NEW"},
         false},
        {"patch",
         {{"--encoding", true}, {"--force", false}, {"--dry-run", false, "-n"}},
         {"ARCHIVE", "PATCH"},
         false},
        {"mount",
         {{"--encoding", true},
          {"--read-only", false, "-r"},
          {"--foreground", false, "-f"},
          {"--commit-delay", true},
          {"--recover", false},
          {"--wait", true}},
         {"ARCHIVE", "FOLDER"},
         false},
    }};
    return table;
}

bool isHelp(std::string_view arg)
{
    return arg == "--help" || arg == "-h";
}

std::string seeHelp(std::string_view command)
{
    return command.empty() ? "see 'velmora-dat --help'"
                           : "see 'velmora-dat " + std::string(command) + " --help'";
}

const CommandSpec& findCommand(std::string_view name)
{
    if (name.size() > 1 && name[0] == '-')
        throw UsageError(std::string(name), "unknown option; " + seeHelp({}));
    for (const CommandSpec& candidate : commands()) {
        if (candidate.name == name)
            return candidate;
    }
    throw UsageError(std::string(name), "not a command; " + seeHelp({}));
}

// Help wins over every other mistake on the line, so "--help" always answers.
bool asksForHelp(int argc, const char* const* argv)
{
    for (int i = 2; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        if (isHelp(argv[i]))
            return true;
    }
    return false;
}

// The operands and options after the command word.
void readArguments(const CommandSpec& command, int argc, const char* const* argv,
                   std::vector<std::string>& arguments, std::map<std::string, std::string>& options)
{
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            arguments.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        const OptionSpec* option = nullptr;
        for (const OptionSpec& candidate : command.options) {
            if (name.substr(0, 2) == "--" ? candidate.name == name : candidate.shortName == name)
                option = &candidate;
        }
        if (!option)
            throw UsageError(std::string(name), "unknown option for " + std::string(command.name) +
                                                    "; " + seeHelp(command.name));
        std::string value;
        if (option->takesValue) {
            if (equals != std::string_view::npos)
                value = arg.substr(equals + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else
                throw UsageError(std::string(name), "missing value; " + seeHelp(command.name));
        } else if (equals != std::string_view::npos) {
            throw UsageError(std::string(name), "takes no value; " + seeHelp(command.name));
        }
        options[std::string(option->name)] = value;
    }
}

void checkOperands(const CommandSpec& command, const std::vector<std::string>& arguments)
{
    if (arguments.size() < command.operands.size()) {
        throw UsageError(std::string(command.name),
                         "missing " + std::string(command.operands[arguments.size()]) + "; " +
                             seeHelp(command.name));
    }
    // An empty path or name would only come back as a message without its subject.
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i].empty()) {
            const std::string what =
                i < command.operands.size() ? std::string(command.operands[i]) : "NAME";
            throw UsageError(std::string(command.name),
                             what + " is empty; " + seeHelp(command.name));
        }
    }
    if (!command.moreOperands && arguments.size() > command.operands.size()) {
        throw UsageError(std::string(command.name), "unexpected argument '" +
                                                        arguments[command.operands.size()] + "'; " +
                                                        seeHelp(command.name));
    }
}

} // namespace

std::string CommandLine::value(const std::string& option, const std::string& fallback) const
{
    const auto it = m_options.find(option);
    return it == m_options.end() ? fallback : it->second;
}

CommandLine CommandLine::parse(int argc, const char* const* argv)
{
    CommandLine line;
    if (argc < 2)
        throw UsageError("usage", "no command given; " + seeHelp({}));

    const std::string_view first = argv[1];
    if (isHelp(first)) {
        line.m_request = Request::ProgramHelp;
        return line;
    }
    if (first == "--version") {
        line.m_request = Request::Version;
        return line;
    }
    const CommandSpec& command = findCommand(first);
    line.m_strCommand = first;
    if (asksForHelp(argc, argv)) {
        line.m_request = Request::CommandHelp;
        return line;
    }
    readArguments(command, argc, argv, line.m_arguments, line.m_options);
    checkOperands(command, line.m_arguments);
    return line;
}

} // namespace cli
