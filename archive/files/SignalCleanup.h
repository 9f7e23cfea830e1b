#pragma once

namespace archive {

class CFolder;

// Named temporary files and folders that must not outlive the process, however it ends. The
// handlers remove every registered name and then end the program with the signal that came; the
// registry is a fixed table of slots, so the handler neither allocates nor locks.
class SignalCleanup {
public:
    // Handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT, and SIGXFSZ ignored so a file-size limit
    // shows as a write failing with EFBIG. Call once at program start; calling again is harmless.
    static void install();
    // From now on a first SIGINT or SIGTERM only asks the running command to stop at its next
    // safe point; a second one, or any other of the signals, removes the files and ends the
    // program. notice, when given, is written to the standard error at the first one; it must
    // outlive the program's run.
    static void stopOnInterrupt(const char* notice = nullptr);
    static bool isStopAsked() noexcept;
    // The signal that asked to stop, 0 while none did.
    static int stopSignal() noexcept;
    // Removes every registered name and ends the program as signalNumber does without a
    // handler, so whoever started it sees the signal. Returns on Windows, where a signal ends
    // no program: the caller then exits with 128 + signalNumber.
    static void endBySignal(int signalNumber) noexcept;

    // Registers name inside folder, which must stay open until the slot is removed; returns the
    // slot to pass to remove, or -1 when the table is full (the name is then not removed by a
    // signal).
    static int add(const CFolder& folder, const char* name) noexcept;
    // The same for a folder: it goes with what it holds, some levels deep (links inside are
    // removed, never followed).
    static int addTree(const CFolder& folder, const char* name) noexcept;
    static void remove(int slot) noexcept;

    // How many slots hold a name, for tests.
    static int liveCount() noexcept;
};

} // namespace archive
