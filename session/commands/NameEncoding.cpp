#include "session/commands/NameEncoding.h"

#include "res/Resource.h"
#include "session/Session.h"
#include "session/SessionWindow.h"

#include <string>
#include <vector>

namespace session {

const std::array<NameEncoding::Choice, 5>& NameEncoding::choices()
{
    using archive::Encoding;
    const auto item = [](Encoding encoding) {
        return Choice{encoding, res::kEncodings[static_cast<std::size_t>(encoding)].menuText};
    };
    static const std::array<Choice, 5> kChoices = {Choice{std::nullopt, res::kMenuEncodingAuto},
                                                   item(Encoding::big5), item(Encoding::gbk),
                                                   item(Encoding::shiftJis), item(Encoding::utf8)};
    return kChoices;
}

void NameEncoding::choose(std::optional<archive::Encoding> encoding)
{
    m_session.chooseEncoding(encoding);
    if (!m_session.archive().isOpen() || m_session.archive().isChanging())
        return;
    SessionWindow& window = m_session.window();
    const EntryList& list = m_session.list();
    // Copies: the list's names are views into the directory the relisting reads anew.
    std::vector<std::string> selected;
    for (const int row : window.selectedRows())
        selected.emplace_back(list.name(row));
    const std::string current(list.name(window.currentRow()));
    // A copy: relisting closes the reader that holds the path.
    const std::string path = m_session.archive().reader().path();
    m_session.relist(path, false, selected);
    const std::vector<std::pair<int, int>> at =
        current.empty() ? std::vector<std::pair<int, int>>() : list.rangesOf({current});
    // The names sort anew in another code page: the current entry is kept in sight.
    if (!at.empty()) {
        window.setCurrentRow(at.front().first);
        window.showRow(at.front().first);
    }
}

} // namespace session
