#pragma once

#include <map>
#include <string>
#include <vector>

namespace cli {

// The sub-command and its arguments. Options may stand anywhere before "--"; "--opt=value" and
// "--opt value" are the same. Throws UsageError for anything the sub-command does not take.
class CommandLine {
public:
    enum class Request { Run, ProgramHelp, CommandHelp, Version };

    static CommandLine parse(int argc, const char* const* argv);

    Request request() const noexcept { return m_request; }
    // "list", "extract", "build", "check", "add", "delete" or "rename"; empty for the program's own
    // help and version.
    const std::string& command() const noexcept { return m_strCommand; }
    const std::vector<std::string>& arguments() const noexcept { return m_arguments; }

    bool isSet(const std::string& option) const { return m_options.count(option) != 0; }
    // The value of the last occurrence, or fallback.
    std::string value(const std::string& option, const std::string& fallback = {}) const;

private:
    Request m_request = Request::Run;
    std::string m_strCommand;
    std::vector<std::string> m_arguments;
    std::map<std::string, std::string> m_options;
};

} // namespace cli
