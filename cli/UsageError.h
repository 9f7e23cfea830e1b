#pragma once

#include <stdexcept>
#include <string>

namespace cli {

// A command line the program cannot run: reported as "subject: reason", exit status 2.
class UsageError : public std::runtime_error {
public:
    UsageError(std::string subject, std::string reason)
        : std::runtime_error(subject + ": " + reason), m_strSubject(std::move(subject)),
          m_strReason(std::move(reason))
    {
    }

    const std::string& subject() const noexcept { return m_strSubject; }
    const std::string& reason() const noexcept { return m_strReason; }

private:
    std::string m_strSubject;
    std::string m_strReason;
};

} // namespace cli
