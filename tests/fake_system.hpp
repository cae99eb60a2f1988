// An in-memory stand-in for the operating system, with a fixed clock, files in a map, and
// scripted failures and interrupts; and a scoped local time zone, for predictable file names.
#pragma once

#include <atomic>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/system.hpp"

namespace zorvanteli {

class fake_system final : public system_seam {
public:
    std::time_t start_time = 0;
    std::map<std::string, std::string> files;              // every file's bytes, by name
    std::map<std::string, std::error_code> create_errors;  // names that cannot be created
    std::vector<std::string> attempts;                     // names asked for, in order
    std::size_t write_limit = ~std::size_t{0};             // a file's size when the disk is full
    std::error_code close_error;
    int interrupt = 0, polls_before_interrupt = 0;  // the signal caught, seen after that many polls
    int ended_by = 0;

    std::time_t now() override { return start_time; }
    std::unique_ptr<output_file> create_new_file(const std::string& name,
                                                 std::error_code& error) override {
        attempts.push_back(name);
        error.clear();
        if (const auto found = create_errors.find(name); found != create_errors.end())
            error = found->second;
        else if (files.contains(name))
            error = make_error_code(std::errc::file_exists);
        else
            return std::make_unique<file>(*this, files[name]);  // map nodes stay put
        return nullptr;
    }
    void catch_interrupts() override {}
    void release_interrupts() override {}
    int pending_interrupt() override {
        return interrupt != 0 && polls_++ >= polls_before_interrupt ? interrupt : 0;
    }
    void end_by_signal(int signal) override { ended_by = signal; }

    unsigned processor_count = 2;
    std::atomic<int> workers_started = 0;  // threads that kept the interrupts off themselves
    unsigned processors() override { return processor_count; }
    void keep_interrupts_off_this_thread() override { ++workers_started; }

private:
    class file final : public output_file {
    public:
        file(fake_system& system, std::string& bytes) : system_{system}, bytes_{bytes} {}
        // All or nothing, so that a file always ends with a whole write.
        std::error_code write(std::string_view bytes) override {
            if (bytes_.size() + bytes.size() > system_.write_limit)
                return make_error_code(std::errc::no_space_on_device);
            bytes_ += bytes;
            return {};
        }
        std::error_code close() override { return system_.close_error; }

    private:
        fake_system& system_;
        std::string& bytes_;
    };
    int polls_ = 0;
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
