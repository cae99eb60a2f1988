// The real operating system behind system_seam: POSIX descriptors and signals, or the Windows
// C runtime's descriptors and console control handlers.
#include "platform/system.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/interrupt_flag.hpp"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <link.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sched.h>
#endif

namespace zorvanteli {
namespace {

constinit interrupt_flag interrupts;

std::error_code last_error() {
    return {errno, std::generic_category()};
}

#ifdef _WIN32
// Why a console write failed. The C runtime reports a pipe whose reader went away as EINVAL;
// Windows' own error, still there after the C runtime's write, tells it from a real fault:
// ERROR_NO_DATA on Windows, ERROR_PIPE_NOT_CONNECTED under Wine.
std::error_code console_write_error() {
    const DWORD error = ::GetLastError();
    if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED)
        return make_error_code(std::errc::broken_pipe);
    return last_error();
}
#else
std::error_code console_write_error() {
    return last_error();
}
#endif

#ifdef _WIN32
// The error of a failed Windows call, as the C runtime would report it: its messages are the
// ones the rest of the program shows.
std::error_code last_windows_error() {
    switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return make_error_code(std::errc::no_such_file_or_directory);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return make_error_code(std::errc::permission_denied);
        case ERROR_NOT_SAME_DEVICE:
            return make_error_code(std::errc::cross_device_link);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return make_error_code(std::errc::no_space_on_device);
        default:
            return make_error_code(std::errc::io_error);
    }
}
#endif

#ifdef _WIN32
static_assert(CTRL_C_EVENT == console_event::ctrl_c &&
              CTRL_BREAK_EVENT == console_event::ctrl_break &&
              CTRL_CLOSE_EVENT == console_event::close &&
              CTRL_LOGOFF_EVENT == console_event::logoff &&
              CTRL_SHUTDOWN_EVENT == console_event::shutdown);

// The main thread's console writes, and what saves the listing from the handler's thread while
// one of them is stuck; set before interrupts are taken.
constinit console_writes console;
std::function<void(int)> save_from_handler;

BOOL WINAPI on_console_event(DWORD event) {
    return handle_console_event(interrupts, event, console, save_from_handler) ? TRUE : FALSE;
}

// One call of the C runtime's _write, which takes at most an unsigned int of bytes.
int write_some(int fd, std::string_view bytes) {
    const auto chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
    return ::_write(fd, bytes.data(), chunk);
}

// The lines with CR LF ends: the file is written in binary mode, since the C runtime's text mode
// would not say how much of a failed write reached the file.
std::string with_crlf(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() + static_cast<std::size_t>(std::ranges::count(bytes, '\n')));
    for (const char c : bytes) {
        if (c == '\n') text += '\r';
        text += c;
    }
    return text;
}
#else
extern "C" void record_signal(int signal) {
    interrupts.record(signal);
}

constexpr int interrupt_signals[] = {SIGINT, SIGTERM, SIGHUP};

ssize_t write_some(int fd, std::string_view bytes) {
    return ::write(fd, bytes.data(), bytes.size());
}

// Whether `fd` takes more within `milliseconds`; false also when a signal cuts the wait short.
bool takes_more(int fd, int milliseconds) {
    pollfd ready{.fd = fd, .events = POLLOUT, .revents = 0};
    return ::poll(&ready, 1, milliseconds) == 1 && (ready.revents & POLLOUT) != 0;
}
#endif

#ifdef __GLIBC__
// The thread-local storage of the program and its libraries that glibc carves out of every
// thread's stack: a few hundred bytes here, far more under ThreadSanitizer.
std::size_t static_thread_storage() {
    std::size_t bytes = 0;
    ::dl_iterate_phdr(
        [](dl_phdr_info* module, std::size_t, void* total) {
            for (int i = 0; i < module->dlpi_phnum; ++i)
                if (module->dlpi_phdr[i].p_type == PT_TLS)
                    *static_cast<std::size_t*>(total) +=
                        module->dlpi_phdr[i].p_memsz + module->dlpi_phdr[i].p_align;
            return 0;
        },
        &bytes);
    return bytes;
}

// glibc gives every new thread a stack as large as the main thread's limit, commonly 8 MiB; the
// search's threads run on 40 KiB. Where the address space is limited (ulimit -v), such stacks
// would cost threads, or the memory of their sieves and text; a limit far smaller would leave
// ThreadSanitizer's threads no room. 256 KiB beyond the thread-local storage suit both.
void set_thread_stacks() {
    pthread_attr_t defaults;
    if (::pthread_getattr_default_np(&defaults) != 0) return;
    if (::pthread_attr_setstacksize(&defaults,
                                    (std::size_t{256} << 10) + static_thread_storage()) == 0)
        static_cast<void>(::pthread_setattr_default_np(&defaults));
    ::pthread_attr_destroy(&defaults);
}
#endif

// Waits for a console that refused a write for the moment: until it takes more, or briefly,
// so that an interrupt that came just before the wait is still seen soon.
void wait_for_console() {
#ifdef _WIN32
    ::Sleep(10);
#else
    static_cast<void>(takes_more(1, 100));
#endif
}

// Writes `text` to `fd` while `ready` says that it takes more, until a write fails.
void write_all(int fd, std::string_view text, const auto& ready) {
    while (!text.empty() && ready()) {
        const auto n = write_some(fd, text);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

class descriptor_file final : public output_file {
public:
    explicit descriptor_file(int fd) : fd_{fd} {}
    ~descriptor_file() override { static_cast<void>(close()); }

    std::error_code write(std::string_view bytes, std::size_t& kept) override {
#ifdef _WIN32
        const std::string translated = with_crlf(bytes);
        const std::string_view text = translated;
#else
        const std::string_view text = bytes;
#endif
        std::size_t written = 0;
        while (written < text.size()) {
            const auto n = write_some(fd_, text.substr(written));
            if (n < 0 && errno == EINTR) continue;  // the file must get every line
            if (n <= 0) {
                const std::error_code error =
                    n < 0 ? last_error() : make_error_code(std::errc::no_space_on_device);
                return cut_back(error, text.substr(0, written), kept);
            }
            written += static_cast<std::size_t>(n);
        }
        size_ += written;
        kept = bytes.size();
        return {};
    }

    std::error_code close() override {
        if (fd_ < 0) return {};
        const int fd = fd_;
        fd_ = -1;
#ifdef _WIN32
        if (::_close(fd) != 0) return last_error();
#else
        // A close interrupted by a signal has still released the descriptor on Linux; retrying
        // could close somebody else's, so EINTR is taken as done.
        if (::close(fd) != 0 && errno != EINTR) return last_error();
#endif
        return {};
    }

private:
    // After `error`, with `written` in the file, drops what follows its last line break. A failed
    // cut is not reported: the failure that caused it has been.
    std::error_code cut_back(std::error_code error, std::string_view written, std::size_t& kept) {
        const std::size_t line_end = written.rfind('\n') + 1;  // 0 when there is none
        const auto size = static_cast<long long>(size_ + line_end);
#ifdef _WIN32
        static_cast<void>(::_chsize_s(fd_, size));
        // Every line break in the file came with a CR that `bytes` did not have.
        kept = line_end -
               static_cast<std::size_t>(std::ranges::count(written.substr(0, line_end), '\n'));
#else
        static_cast<void>(::ftruncate(fd_, static_cast<off_t>(size)));
        kept = line_end;
#endif
        size_ = static_cast<std::uint64_t>(size);
        return error;
    }

    int fd_;
    std::uint64_t size_ = 0;  // the bytes in the file, all of them written by us
};

class operating_system final : public system_seam {
public:
    operating_system() {
#ifdef _WIN32
        // For good: the handler refuses events outside the search, which leaves them to Windows'
        // default handling. Taking it out again would wait for a handler that waits for the
        // save, as Windows holds one lock around both.
        ::SetConsoleCtrlHandler(on_console_event, TRUE);
#else
        std::signal(SIGPIPE, SIG_IGN);
        std::signal(SIGXFSZ, SIG_IGN);
        // A standard descriptor that was closed would be the next one handed out: the result
        // file would become standard output. Keep 0 to 2 taken.
        for (int fd = 0; fd <= 2; ++fd)
            if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
                static_cast<void>(::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY));
#endif
#ifdef __GLIBC__
        set_thread_stacks();
#endif
    }

    std::time_t now() override {
        return std::time(nullptr);
    }

    std::chrono::steady_clock::time_point steady_now() override {
        return std::chrono::steady_clock::now();
    }

    std::unique_ptr<output_file> create_new_file(const std::string& name,
                                                 std::error_code& error) override {
        error.clear();
#ifdef _WIN32
        int fd = -1;
        if (::_sopen_s(&fd, name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO,
                       _S_IREAD | _S_IWRITE) != 0) {
            error = last_error();
            return nullptr;
        }
#else
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            error = last_error();
            return nullptr;
        }
#endif
        return std::make_unique<descriptor_file>(fd);
    }

    std::error_code rename_file(const std::string& from, const std::string& to) override {
#ifdef _WIN32
        // The C runtime's rename refuses a name that is taken.
        if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) == 0)
            return last_windows_error();
#else
        if (::rename(from.c_str(), to.c_str()) != 0) return last_error();
#endif
        return {};
    }

    std::error_code remove_file(const std::string& name) override {
#ifdef _WIN32
        if (::_unlink(name.c_str()) != 0) return last_error();
#else
        if (::unlink(name.c_str()) != 0) return last_error();
#endif
        return {};
    }

    bool is_terminal(standard_stream stream) override {
#ifdef _WIN32
        // The C runtime's _isatty also says yes for NUL and serial ports; only a console has a
        // mode.
        DWORD mode = 0;
        return ::GetConsoleMode(
                   ::GetStdHandle(stream == standard_stream::output ? STD_OUTPUT_HANDLE
                                                                    : STD_ERROR_HANDLE),
                   &mode) != 0;
#else
        return ::isatty(stream == standard_stream::output ? 1 : 2) == 1;
#endif
    }

    std::size_t write_console(std::string_view bytes) override {
        const std::size_t size = bytes.size();
#ifdef _WIN32
        console.enter();  // before the interrupt is looked at: see console_writes
#endif
        // Standard output stays in text mode on Windows: the C runtime adds the CRs.
        while (!console_lost_ && !bytes.empty() && interrupts.pending() == 0) {
            const auto n = write_some(1, bytes);
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                wait_for_console();
            } else if (n == 0 || errno != EINTR) {  // EINTR: an interrupt, or another signal
                console_lost_ = true;
                console_failure_ =
                    n == 0 ? make_error_code(std::errc::io_error) : console_write_error();
            }
        }
#ifdef _WIN32
        // Taken over: the handler's thread is saving the listing and ending the process.
        if (!console.leave())
            for (;;) ::Sleep(INFINITE);
#endif
        return size - bytes.size();
    }

    std::error_code console_failure() override {
        return console_failure_;
    }

#ifdef _WIN32
    // Nothing tells here whether a pipe or a console takes more, so a thread of its own
    // writes, and is left behind should it block for 0.1 s: the process is ending.
    void write_error(std::string_view text) override {
        try {
            std::promise<void> written;
            std::future<void> done = written.get_future();
            std::thread{[text = std::string{text}, written = std::move(written)]() mutable {
                write_all(2, text, [] { return true; });
                written.set_value();
            }}.detach();
            done.wait_for(std::chrono::milliseconds{100});
        } catch (const std::system_error&) {  // no thread to be had
            write_all(2, text, [] { return true; });
        }
    }
#else
    void write_error(std::string_view text) override {
        // A paused terminal, or a pipe nobody reads, would block the write for good.
        write_all(2, text, [] { return takes_more(2, 100); });
    }
#endif

    void write_progress(std::string_view text) override {
#ifdef _WIN32
        // A console in the middle of a selection takes nothing until it ends; meanwhile an
        // interrupt's handler may take the run over, as in a console write.
        console.enter();
        write_all(2, text, [] { return true; });
        if (!console.leave())
            for (;;) ::Sleep(INFINITE);
#else
        write_all(2, text, [] { return takes_more(2, 0); });
#endif
    }

    std::uint64_t memory_limit() override {
#ifdef _WIN32
        return 0;  // a job object's limit is not looked for
#else
        std::uint64_t limit = 0;
        for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
            rlimit r{};
            if (::getrlimit(resource, &r) == 0 && r.rlim_cur != RLIM_INFINITY &&
                (limit == 0 || r.rlim_cur < limit))
                limit = r.rlim_cur;
        }
        return limit;
#endif
    }

    unsigned processors() override {
#ifdef _WIN32
        DWORD_PTR process_mask = 0, system_mask = 0;
        // Beyond 64 processors a process spans processor groups and this mask shows only one.
        if (::GetProcessAffinityMask(::GetCurrentProcess(), &process_mask, &system_mask) != 0 &&
            process_mask != 0) {
            unsigned count = 0;
            for (; process_mask != 0; process_mask &= process_mask - 1) ++count;
            return count;
        }
#elif defined(__linux__)
        // The set must be as large as the kernel's: grow it while the call says it is too small.
        for (std::size_t sets = 1; sets <= 1024; sets *= 2) {
            std::vector<cpu_set_t> mask(sets);
            const std::size_t bytes = sets * sizeof(cpu_set_t);
            if (::sched_getaffinity(0, bytes, mask.data()) == 0) {
                const int count = CPU_COUNT_S(bytes, mask.data());
                if (count > 0) return static_cast<unsigned>(count);
                break;
            }
            if (errno != EINVAL) break;
        }
#endif
        const unsigned count = std::thread::hardware_concurrency();
        return count > 0 ? count : 1;
    }

    // Windows delivers console events on a thread of its own: nothing to keep off there.
    void keep_interrupts_off_this_thread() override {
#ifndef _WIN32
        sigset_t set;
        sigemptyset(&set);
        for (int signal : interrupt_signals) sigaddset(&set, signal);
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
#endif
    }

    int pending_interrupt() override {
        return interrupts.pending();
    }

#ifdef _WIN32
    // A process started with Ctrl+C ignored keeps ignoring it: Windows then calls no handler
    // for it. The handler stays in place after a first event, unlike a C runtime `signal`
    // handler, so a second Ctrl+C during the save is caught too.
    void catch_interrupts(std::function<void(int)> save) override {
        save_from_handler = std::move(save);
        interrupts.reset();  // after: a handler reads the save once it has recorded an interrupt
    }

    void release_interrupts() override {
        interrupts.close();
    }

    void end_by_signal(int) override {
        std::fflush(nullptr);
        // A handler waiting on a window close, log-off or shut-down may now return, after which
        // Windows ends the process; whichever is first, the listing is saved.
        interrupts.mark_saved();
        // Not ExitProcess: that runs the DLLs' detach code and the C runtime's exit after the
        // other threads are stopped, and a main thread stopped inside its console write can
        // leave a lock that code waits for. Under Wine 5 of 20 such runs hung until the server
        // killed them half a second later; ended this way, none of 50. Nothing is left to
        // flush: the file is written by descriptor and closed, the C streams flushed above.
        ::TerminateProcess(::GetCurrentProcess(), control_c_exit_status);
    }
#else
    // A signal cuts a console write short here: the main thread always saves.
    void catch_interrupts(std::function<void(int)>) override {
        interrupts.reset();
        for (std::size_t i = 0; i < std::size(interrupt_signals); ++i) {
            ::sigaction(interrupt_signals[i], nullptr, &previous_[i]);
            // A signal the parent chose to ignore (nohup, a background job) stays ignored.
            if (previous_[i].sa_handler == SIG_IGN) continue;
            struct sigaction action {};
            action.sa_handler = record_signal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = 0;  // no SA_RESTART: a console write blocked for good must return
            ::sigaction(interrupt_signals[i], &action, nullptr);
        }
    }

    void release_interrupts() override {
        for (std::size_t i = 0; i < std::size(interrupt_signals); ++i)
            ::sigaction(interrupt_signals[i], &previous_[i], nullptr);
        interrupts.close();
    }

    void end_by_signal(int signal) override {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
#endif

private:
#ifndef _WIN32
    struct sigaction previous_[std::size(interrupt_signals)] = {};
#endif
    bool console_lost_ = false;  // a console write failed: write no more
    std::error_code console_failure_;
};

}  // namespace

system_seam& real_system() {
    static operating_system system;
    return system;
}

}  // namespace zorvanteli
