// The few things the program needs from the operating system, behind one seam so that the
// dialogue can be tested with a fake and ported to Windows: the clocks, files, the console and
// interrupts.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace zorvanteli {

// The Windows build also follows Windows' own conventions where its users expect them: "/?"
// asks for help.
#ifdef _WIN32
inline constexpr bool built_for_windows = true;
#else
inline constexpr bool built_for_windows = false;
#endif

// A file opened for writing only; its lines end in CR LF on Windows.
class output_file {
public:
    virtual ~output_file() = default;
    // Hands all of `bytes`, whole lines, to the system, or says why it could not. When a write
    // fails part-way, the file is cut back to the end of the last whole line that reached it, so
    // that it never ends in a torn line; `kept` says how many of `bytes` the file then holds (all
    // on success). Should even the cut fail, `kept` still ends at that last line break.
    virtual std::error_code write(std::string_view bytes, std::size_t& kept) = 0;
    virtual std::error_code close() = 0;
};

enum class standard_stream { output, error };

class system_seam {
public:
    virtual ~system_seam() = default;

    virtual std::time_t now() = 0;
    // For durations: never goes back.
    virtual std::chrono::steady_clock::time_point steady_now() = 0;

    // Creates `name` only if nothing of that name exists yet; otherwise returns null and sets
    // `error` (std::errc::file_exists when the name is taken). Never opens, let alone truncates,
    // an existing file.
    virtual std::unique_ptr<output_file> create_new_file(const std::string& name,
                                                         std::error_code& error) = 0;
    // Gives the file `from` the name `to`, in place of any file of that name: in one step, so that
    // whoever opens `to` finds the old file or the new one, never neither or a part.
    virtual std::error_code rename_file(const std::string& from, const std::string& to) = 0;
    virtual std::error_code remove_file(const std::string& name) = 0;

    // Whether a person may be reading the stream: a terminal, or a console on Windows.
    virtual bool is_terminal(standard_stream stream) = 0;

    // Writes to standard output; all console text goes through here. A console that takes nothing
    // for a moment (a non-blocking one that is full) is waited for, and the write goes on where it
    // stopped. An interrupt ends the write where it is, and the wait: a console that stopped
    // reading (a paused terminal, a pipe nobody reads) must not hold the interrupt up, and the file
    // already has these lines. Any other failure loses the console for the rest of the run: nothing
    // more is written to it, so it never shows a line after a gap. The failure is not reported: a
    // lost console must not stop the search. Returns how many of `bytes` it wrote.
    virtual std::size_t write_console(std::string_view bytes) = 0;
    // Why the console was lost, or no error while it has not been: std::errc::broken_pipe when
    // its reader went away.
    virtual std::error_code console_failure() = 0;
    // Writes the interrupt's message to standard error, but gives up on a console that takes
    // nothing for a moment: the process is ending.
    virtual void write_error(std::string_view text) = 0;
    // Writes a progress line to standard error as far as it takes it at once, and drops the rest:
    // a terminal paused for a moment must not hold the listing up. The next line starts with a
    // carriage return and draws over a torn one.
    virtual void write_progress(std::string_view text) = 0;

    // While caught, an interrupt only records itself for pending_interrupt(); otherwise it ends
    // the process at once, as it normally would. POSIX: SIGINT, SIGTERM and SIGHUP, caught
    // without restarting interrupted calls, so that the main thread's console write returns.
    // Windows: the console control events (Ctrl+C, Ctrl+Break, closing the window, log-off,
    // shut-down), which arrive on a thread of their own; for the last three Windows ends the
    // process once the handler returns, so the handler waits for end_by_signal(). There a write
    // to a console nobody reads cannot be cut short: while the main thread is inside
    // write_console, the handler's thread calls `save` with the interrupt instead, and the main
    // thread never returns from that write. `save` sees all the main thread did before the write
    // began; it must save the listing and end the process. Empty: the main thread saves always.
    virtual void catch_interrupts(std::function<void(int)> save) = 0;
    virtual void release_interrupts() = 0;
    // The interrupt caught since catch_interrupts(), or 0: the signal number on POSIX, the
    // console control event plus one on Windows. Any thread may ask.
    virtual int pending_interrupt() = 0;
    // Ends the process the way the interrupt would have ended it: by the signal on POSIX, so a
    // shell sees 128 + signal; with STATUS_CONTROL_C_EXIT on Windows.
    virtual void end_by_signal(int signal) = 0;

    // How many processors this process may run on (its affinity mask), at least 1.
    virtual unsigned processors() = 0;
    // The bytes of address space the process may take (its resource limits), or 0 when no limit
    // is known: where memory is short the search plans for less.
    virtual std::uint64_t memory_limit() = 0;
    // Called first on every worker thread: keeps the interrupts off it, so that they always
    // reach the main thread, which writes the console and must be interrupted there.
    virtual void keep_interrupts_off_this_thread() = 0;
};

// The real operating system. The first call also makes a vanished console or a file-size
// limit show up as write errors instead of killing the process, and gives the threads started
// from then on stacks of a size of their own, small.
system_seam& real_system();

}  // namespace zorvanteli
