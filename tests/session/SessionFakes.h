#pragma once

// A session without a window: questions answered from queues the test fills (an empty queue
// means the user cancelled, or answered No), a window that records what the commands show and
// runs what they post only when the test lets the event loop run, long runs on the calling
// thread, and a file watch whose changes and timers fire when the test says.

#include "archive/commands/Extraction.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"
#include "session/Questions.h"
#include "session/Session.h"
#include "session/SessionWindow.h"
#include "session/edits/FileWatch.h"
#include "session/edits/FolderMounts.h"
#include "session/edits/ScratchFolders.h"
#include "tests/support/TestSupport.h"

#include <deque>
#include <map>
#include <set>

namespace sessiontest {

using Entries = std::map<std::string, std::string>;

// A path in the session's spelling: UTF-8 with '/' between levels.
inline std::string at(const testsupport::TempDir& dir, std::string_view name)
{
    const std::u8string text = (dir.path() / testsupport::hostPath(name)).generic_u8string();
    return std::string(text.begin(), text.end());
}

// Writes an archive of entries at path.
inline void writeArchive(const std::string& path, const Entries& entries)
{
    testsupport::ArchiveImage image;
    for (const auto& [name, bytes] : entries)
        image.add(name, bytes);
    testsupport::writeFile(path, image.bytes());
}

// Every entry of the archive at path with its bytes, read from a copy in memory.
inline Entries entriesOf(const std::string& path)
{
    const std::string image = testsupport::readFile(path);
    archive::ArchiveReader reader;
    reader.OpenMemory({reinterpret_cast<const unsigned char*>(image.data()), image.size()}, path);
    Entries entries;
    for (std::size_t i = 0; i < reader.size(); ++i) {
        const archive::RecordView record = reader.at(i);
        std::string bytes(record.dataSize, '\0');
        reader.readAt(bytes.data(), bytes.size(), record.dataOffset);
        entries[std::string(record.name)] = bytes;
    }
    return entries;
}

template <class T> std::optional<T> next(std::deque<T>& queue)
{
    if (queue.empty())
        return std::nullopt;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}

struct ScriptedQuestions : session::Questions {
    std::deque<std::string> paths, folders, files, texts;
    std::deque<std::vector<std::string>> fileLists;
    std::deque<bool> answers;
    std::deque<FailureAnswer> failureAnswers;
    std::vector<std::string> starts, titles, asked, messages;
    std::function<void()> whileAsked;

    std::optional<std::string> openArchivePath(const std::string& start) override
    {
        starts.push_back(start);
        return next(paths);
    }
    std::optional<std::string> saveArchivePath(const std::string& start) override
    {
        starts.push_back(start);
        return next(paths);
    }
    std::optional<std::string> chooseFolder(const std::string& title,
                                            const std::string& start) override
    {
        titles.push_back(title);
        starts.push_back(start);
        return next(folders);
    }
    std::optional<std::vector<std::string>> chooseFiles(const std::string& title,
                                                        const std::string& start) override
    {
        titles.push_back(title);
        starts.push_back(start);
        return next(fileLists);
    }
    std::optional<std::string> chooseFile(const std::string& title,
                                          const std::string& start) override
    {
        titles.push_back(title);
        starts.push_back(start);
        return next(files);
    }
    std::optional<std::string> askText(const std::string&, const std::string& label,
                                       const std::string&) override
    {
        titles.push_back(label);
        return next(texts);
    }
    void showMessage(const std::string&, const std::string& text, MessageIcon) override
    {
        messages.push_back(text);
    }
    bool askYesNo(const std::string&, const std::string& text) override
    {
        asked.push_back(text);
        if (whileAsked)
            std::exchange(whileAsked, nullptr)();
        return next(answers).value_or(false);
    }
    FailureAnswer askAfterFailure(const std::string&, const std::string& text) override
    {
        asked.push_back(text);
        return next(failureAnswers).value_or(FailureAnswer::Stop);
    }
};

// Runs the work on the calling thread; its window is shown when the test says.
struct InlineRun : session::LongRun {
    std::vector<std::string>& finished;
    bool isShown;
    bool isCancelled; // the user cancels at the first report
    InlineRun(std::vector<std::string>& finishedTexts, bool shown, bool cancelled = false)
        : finished(finishedTexts), isShown(shown), isCancelled(cancelled)
    {
    }
    bool finish(const std::string& text) override
    {
        if (isShown)
            finished.push_back(text);
        return isShown;
    }
    void runOnWorker(const std::function<void(const archive::ProgressFn&)>& work) override
    {
        work([this](const archive::Progress&) { return !isCancelled; });
    }
    void onWaitingThread(const std::function<void()>& action) override { action(); }
};

struct FakeWindow : session::SessionWindow {
    std::vector<std::pair<int, int>> selection;
    int current = -1;
    int top = 0;
    std::string status, type = "*";
    bool isFindMiss = false;
    std::deque<std::function<void()>> posted;
    bool showsProgress = false;
    bool cancelsRuns = false;
    std::vector<std::string> runs, finished, opened;
    bool opensCopies = true;

    // The event loop's turn: what was posted runs, and what that posts.
    void runEvents()
    {
        while (auto command = next(posted))
            (*command)();
    }
    std::vector<int> selectedRows() const override
    {
        std::vector<int> rows;
        for (const auto& [first, last] : selection)
            for (int row = first; row <= last; ++row)
                rows.push_back(row);
        return rows;
    }
    void selectOnly(const std::vector<std::pair<int, int>>& ranges) override { selection = ranges; }
    int currentRow() const override { return current; }
    void setCurrentRow(int row) override { current = row; }
    void showRow(int) override {}
    int topRow() const override { return top; }
    void scrollToTop(int row) override { top = row; }
    void setStatus(const std::string& text) override { status = text; }
    void showFindMiss(bool isMiss) override { isFindMiss = isMiss; }
    std::string typeFilter() const override { return type; }
    void resetTypeFilter() override { type = "*"; }
    void relistUnder(const std::function<int()>& list) override { list(); }
    void post(std::function<void()> command) override { posted.push_back(std::move(command)); }
    std::unique_ptr<session::LongRun> startLongRun(const std::string& label) override
    {
        runs.push_back(label);
        return std::make_unique<InlineRun>(finished, showsProgress, cancelsRuns);
    }
    void openInOtherProgram(const std::string& path, std::function<void()> onFailure) override
    {
        opened.push_back(path);
        // Later, as a desktop reports it: the command that asked is gone by then.
        if (!opensCopies)
            post(std::move(onFailure));
    }
};

// The test fires the changes and the timers.
struct FakeWatch : session::FileWatch, session::Timers {
    struct FakeTimer : session::Timer {
        FakeWatch& watch;
        std::function<void()> onTimeout;
        FakeTimer(FakeWatch& w, std::function<void()> f) : watch(w), onTimeout(std::move(f))
        {
            watch.timers.insert(this);
        }
        ~FakeTimer() override
        {
            watch.timers.erase(this);
            watch.running.erase(this);
        }
        void start() override { watch.running.insert(this); }
        void stop() override { watch.running.erase(this); }
    };
    std::function<void(const std::string&)> listener;
    std::set<std::string> watched;
    std::set<FakeTimer*> timers, running;

    void setListener(std::function<void(const std::string&)> onChange) override
    {
        listener = std::move(onChange);
    }
    void add(const std::string& path) override { watched.insert(path); }
    void remove(const std::string& path) override { watched.erase(path); }
    bool watches(const std::string& path) const override { return watched.contains(path); }
    std::unique_ptr<session::Timer> makeTimer(int, std::function<void()> onTimeout) override
    {
        return std::make_unique<FakeTimer>(*this, std::move(onTimeout));
    }
    // Every running timer times out.
    void settle()
    {
        const std::set<FakeTimer*> due = std::exchange(running, {});
        for (FakeTimer* timer : due)
            if (timers.contains(timer))
                timer->onTimeout();
    }
};

// Scratch copies in a test folder, one sub-folder each.
struct TestScratch : session::ScratchFolders {
    explicit TestScratch(std::string folder) : root(std::move(folder)) {}
    std::string root;
    int made = 0;
    std::string extractFile(const archive::ArchiveReader& reader, std::uint32_t position) override
    {
        const std::string folder = root + "/" + std::to_string(++made);
        std::filesystem::create_directories(testsupport::hostPath(folder));
        const std::uint32_t positions[] = {position};
        archive::extractEntries(reader, positions, folder);
        return folder + "/" + archive::names::hostRelativePath(reader.record(position).name);
    }
    bool holds(const std::string& path) const override { return path.starts_with(root); }
    std::string makeFolder() override
    {
        const std::string folder = root + "/" + std::to_string(++made);
        std::filesystem::create_directories(testsupport::hostPath(folder));
        return folder;
    }
};

// Mounts that serve nothing: the test tells their events itself.
struct TestMounts : session::FolderMounts {
    struct Mount : session::FolderMount {
        int& unmounted;
        explicit Mount(int& count) : unmounted(count) {}
        bool unmount() override { return ++unmounted > 0; }
    };
    bool isPending = false;           // an earlier mount left changes
    std::vector<std::string> mounted; // the archives, "+recover" where it put changes in
    int unmounted = 0;
    session::FolderMountEvents events;
    std::unique_ptr<session::FolderMount> mount(const std::string& archivePath, const std::string&,
                                                archive::Encoding, bool recover,
                                                session::FolderMountEvents told) override
    {
        if (isPending && !recover)
            throw archive::FileError(archive::ErrorKind::changedMeanwhile, "pending", "held");
        mounted.push_back(archivePath + (recover ? "+recover" : ""));
        events = std::move(told);
        return std::make_unique<Mount>(unmounted);
    }
};

} // namespace sessiontest
