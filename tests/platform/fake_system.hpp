// An in-memory stand-in for the operating system, with fixed or stepped clocks, files in a map,
// and scripted failures, terminals and interrupts; and a scoped local time zone, for predictable
// file names.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/interrupt_flag.hpp"
#include "platform/system.hpp"

namespace zorvanteli {

class fake_system final : public system_seam {
public:
    std::time_t start_time = 0;
    std::map<std::string, std::string> files;              // every file's bytes, by name
    std::map<std::string, std::error_code> create_errors;  // names that cannot be created
    std::vector<std::string> attempts;                     // names asked for, in order
    std::set<std::string> closed;                          // files closed, by name
    std::size_t write_limit = ~std::size_t{0};             // a file's size when the disk is full
    std::error_code close_error;
    std::ostream* console = nullptr;     // where write_console() goes
    std::ostream* error_text = nullptr;  // where write_error() goes
    // Delivers an interrupt as a handler would, at the poll after that many, or with
    // interrupt_when set, at the first poll that finds it true.
    std::function<void(interrupt_flag&)> interrupt;
    int polls_before_interrupt = 0;
    std::function<bool(const fake_system&)> interrupt_when;
    int ended_by = 0;
    // What catch_interrupts() was given to save the run while the console holds the main thread.
    std::function<void(int)> saves_from_console;
    std::function<void()> console_writing;  // called in each console write, before its bytes
    // The console's reader takes this many bytes, then the console fails with console_error.
    std::size_t console_room = ~std::size_t{0};
    std::error_code console_error = make_error_code(std::errc::broken_pipe);
    std::map<std::string, std::error_code> rename_errors;  // by the name renamed to
    std::vector<std::string> removed;                      // names removed, in order
    bool output_terminal = false, error_terminal = false;
    std::string progress;  // all that write_progress() was given
    // The steady clock moves on by this much at every reading.
    std::chrono::steady_clock::time_point steady_time{};
    std::chrono::steady_clock::duration steady_step{};

    std::time_t now() override { return start_time; }
    std::chrono::steady_clock::time_point steady_now() override {
        const auto time = steady_time;
        steady_time += steady_step;
        return time;
    }
    std::error_code rename_file(const std::string& from, const std::string& to) override {
        if (const auto found = rename_errors.find(to); found != rename_errors.end())
            return found->second;
        if (!files.contains(from)) return make_error_code(std::errc::no_such_file_or_directory);
        files[to] = files[from];
        files.erase(from);
        return {};
    }
    std::error_code remove_file(const std::string& name) override {
        removed.push_back(name);
        return files.erase(name) == 1 ? std::error_code{}
                                      : make_error_code(std::errc::no_such_file_or_directory);
    }
    bool is_terminal(standard_stream stream) override {
        return stream == standard_stream::output ? output_terminal : error_terminal;
    }
    std::unique_ptr<output_file> create_new_file(const std::string& name,
                                                 std::error_code& error) override {
        attempts.push_back(name);
        error.clear();
        if (const auto found = create_errors.find(name); found != create_errors.end())
            error = found->second;
        else if (files.contains(name))
            error = make_error_code(std::errc::file_exists);
        if (error) return nullptr;
        files[name] = "";
        return std::make_unique<file>(*this, name);
    }
    std::size_t write_console(std::string_view bytes) override {
        if (console_writing) console_writing();
        if (console_lost_) return 0;
        const std::size_t taken = std::min(bytes.size(), console_room - console_bytes_);
        *console << bytes.substr(0, taken);
        console_bytes_ += taken;
        if (taken < bytes.size()) console_lost_ = true;
        return taken;
    }
    std::error_code console_failure() override {
        return console_lost_ ? console_error : std::error_code{};
    }
    void write_error(std::string_view text) override { *error_text << text; }
    void write_progress(std::string_view text) override { progress += text; }
    void catch_interrupts(std::function<void(int)> save) override {
        saves_from_console = std::move(save);
        interrupts_.reset();
    }
    void release_interrupts() override { interrupts_.close(); }
    int pending_interrupt() override {
        const bool due = interrupt_when ? interrupt_when(*this) : polls_ == polls_before_interrupt;
        if (interrupt && due && !interrupted_) {
            interrupted_ = true;
            interrupt(interrupts_);
        }
        ++polls_;
        return interrupts_.pending();
    }
    void end_by_signal(int signal) override {
        ended_by = signal;
        interrupts_.mark_saved();
    }

    unsigned processor_count = 2;
    std::atomic<int> workers_started = 0;  // threads that kept the interrupts off themselves
    unsigned processors() override { return processor_count; }
    std::uint64_t memory_limit() override { return memory; }
    std::uint64_t memory = 0;
    void keep_interrupts_off_this_thread() override { ++workers_started; }

private:
    class file final : public output_file {
    public:
        file(fake_system& system, const std::string& name) : system_{system}, name_{name} {}
        // Up to the write limit, then cut back to the last whole line, as the real files do.
        std::error_code write(std::string_view bytes, std::size_t& kept) override {
            std::string& text = system_.files[name_];
            if (text.size() + bytes.size() <= system_.write_limit) {
                text += bytes;
                kept = bytes.size();
                return {};
            }
            const std::size_t room =
                system_.write_limit - std::min(system_.write_limit, text.size());
            kept = bytes.substr(0, room).rfind('\n') + 1;
            text += bytes.substr(0, kept);
            return make_error_code(std::errc::no_space_on_device);
        }
        std::error_code close() override {
            system_.closed.insert(name_);
            return system_.close_error;
        }

    private:
        fake_system& system_;
        std::string name_;
    };
    interrupt_flag interrupts_;
    std::size_t console_bytes_ = 0;
    bool console_lost_ = false;
    int polls_ = 0;
    bool interrupted_ = false;
};

class local_time_zone {
public:
    explicit local_time_zone(const char* zone) {
        if (const char* previous = std::getenv("TZ")) previous_ = previous;
        set(zone);
    }
    ~local_time_zone() { set(previous_ ? previous_->c_str() : nullptr); }

private:
    static void set(const char* zone) {
#ifdef _WIN32
        _putenv_s("TZ", zone ? zone : "");
        _tzset();
#else
        zone ? setenv("TZ", zone, 1) : unsetenv("TZ");
        tzset();
#endif
    }
    std::optional<std::string> previous_;
};

}  // namespace zorvanteli
