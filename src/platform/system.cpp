// The real operating system behind system_seam: POSIX descriptors and signals, or the
// Windows C runtime's equivalents.
#include "platform/system.hpp"

#include <cerrno>
#include <csignal>
#include <iterator>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#endif
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(__linux__)
#include <sched.h>
#endif

namespace zorvanteli {
namespace {

volatile std::sig_atomic_t caught_signal = 0;

extern "C" void record_signal(int signal) {
    caught_signal = signal;
}

#ifdef _WIN32
constexpr int interrupt_signals[] = {SIGINT, SIGBREAK, SIGTERM};
#else
constexpr int interrupt_signals[] = {SIGINT, SIGTERM, SIGHUP};
#endif

std::error_code last_error() {
    return {errno, std::generic_category()};
}

class descriptor_file final : public output_file {
public:
    explicit descriptor_file(int fd) : fd_{fd} {}
    ~descriptor_file() override { static_cast<void>(close()); }

    std::error_code write(std::string_view bytes) override {
        while (!bytes.empty()) {
#ifdef _WIN32
            const unsigned chunk =
                bytes.size() > (1u << 30) ? (1u << 30) : static_cast<unsigned>(bytes.size());
            const int written = ::_write(fd_, bytes.data(), chunk);
#else
            const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
#endif
            if (written < 0) {
                if (errno == EINTR) continue;
                return last_error();
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
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
    int fd_;
};

class operating_system final : public system_seam {
public:
    operating_system() {
#ifndef _WIN32
        std::signal(SIGPIPE, SIG_IGN);
        std::signal(SIGXFSZ, SIG_IGN);
        // A standard descriptor that was closed would be the next one handed out: the result
        // file would become standard output. Keep 0 to 2 taken.
        for (int fd = 0; fd <= 2; ++fd)
            if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
                static_cast<void>(::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY));
#endif
    }

    std::time_t now() override {
        return std::time(nullptr);
    }

    std::unique_ptr<output_file> create_new_file(const std::string& name,
                                                 std::error_code& error) override {
        error.clear();
#ifdef _WIN32
        int fd = -1;
        if (::_sopen_s(&fd, name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _SH_DENYNO,
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

    void catch_interrupts() override {
        caught_signal = 0;
        for (std::size_t i = 0; i < std::size(interrupt_signals); ++i) {
            previous_[i] = std::signal(interrupt_signals[i], record_signal);
            // A signal the parent chose to ignore (nohup, a background job) stays ignored.
            if (previous_[i] == SIG_IGN) std::signal(interrupt_signals[i], SIG_IGN);
        }
    }

    void release_interrupts() override {
        for (std::size_t i = 0; i < std::size(interrupt_signals); ++i)
            std::signal(interrupt_signals[i], previous_[i] == SIG_IGN ? SIG_IGN : SIG_DFL);
    }

    int pending_interrupt() override {
        return caught_signal;
    }

    void end_by_signal(int signal) override {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
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

private:
    using handler = void (*)(int);
    handler previous_[std::size(interrupt_signals)] = {};
};

}  // namespace

system_seam& real_system() {
    static operating_system system;
    return system;
}

}  // namespace zorvanteli
