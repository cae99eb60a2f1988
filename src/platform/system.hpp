// The few things the program needs from the operating system, behind one seam so that the
// dialogue can be tested with a fake and ported to Windows: the clock, new files and signals.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace zorvanteli {

// A file opened for writing only, in text mode (CR LF line ends on Windows).
class output_file {
public:
    virtual ~output_file() = default;
    // Hands all of `bytes` to the system, or says why it could not.
    virtual std::error_code write(std::string_view bytes) = 0;
    virtual std::error_code close() = 0;
};

class system_seam {
public:
    virtual ~system_seam() = default;

    virtual std::time_t now() = 0;

    // Creates `name` only if nothing of that name exists yet; otherwise returns null and sets
    // `error` (std::errc::file_exists when the name is taken). Never opens, let alone truncates,
    // an existing file.
    virtual std::unique_ptr<output_file> create_new_file(const std::string& name,
                                                         std::error_code& error) = 0;

    // While caught, an interrupt (Ctrl+C, SIGTERM, SIGHUP) only records itself for
    // pending_interrupt(); otherwise it ends the process at once, as it normally would.
    virtual void catch_interrupts() = 0;
    virtual void release_interrupts() = 0;
    // The signal caught since catch_interrupts(), or 0.
    virtual int pending_interrupt() = 0;
    // Ends the process the way `signal` would have ended it, so a shell sees 128 + signal.
    virtual void end_by_signal(int signal) = 0;

    // How many processors this process may run on (its affinity mask), at least 1.
    virtual unsigned processors() = 0;
    // Called first on every worker thread: keeps the interrupts off it, so that they always
    // reach the main thread, which writes the console and must be interrupted there.
    virtual void keep_interrupts_off_this_thread() = 0;
};

// The real operating system. The first call also makes a vanished console or a file-size
// limit show up as write errors instead of killing the process.
system_seam& real_system();

}  // namespace zorvanteli
