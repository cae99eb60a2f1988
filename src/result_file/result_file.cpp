// Result file naming and creation.
#include "result_file/result_file.hpp"

#include <algorithm>
#include <array>

namespace zorvanteli {

std::string result_file_name(std::time_t time) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &time);
#else
    localtime_r(&time, &local);
#endif
    std::array<char, 30> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%H%M %d-%m-%Y", &local);
    return std::string(text.data(), length) + ".txt";
}

std::string numbered_name(const std::string& name, unsigned copy) {
    const std::size_t dot = name.rfind('.');
    const std::string suffix = " (" + std::to_string(copy) + ")";
    if (dot == std::string::npos) return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

result_file open_result_file(const std::string& name, system_seam& system) {
    // Far more runs than could start in one minute; a folder that still says "exists" after
    // this many is not going to give us a name.
    constexpr unsigned max_copies = 10000;
    result_file result;
    for (unsigned copy = 1; copy <= max_copies; ++copy) {
        result.name_ = copy == 1 ? name : numbered_name(name, copy);
        std::error_code error;
        result.file_ = system.create_new_file(result.name_, error);
        if (result.file_) {
            result.created_ = true;
            result.failure_.reset();  // a taken name before this one is no failure
            return result;
        }
        result.failure_ = error;
        if (error != std::errc::file_exists) break;
    }
    return result;
}

result_file open_replacement(const std::string& name, system_seam& system) {
    // Beside the file, so that the renaming stays on one file system; numbered, should an
    // earlier run have been killed before it could clean up.
    result_file result = open_result_file(name + ".part", system);
    result.written_as_ = result.name_;
    result.name_ = name;
    result.system_ = &system;
    return result;
}

bool result_file::write(std::string_view bytes, std::uint64_t lines) {
    if (failure_ || !file_) return true;
    std::size_t kept = 0;
    if (const std::error_code error = file_->write(bytes, kept)) {
        failure_ = error;
        lines_saved_ += static_cast<std::uint64_t>(std::ranges::count(bytes.substr(0, kept), '\n'));
        return false;
    }
    lines_saved_ += lines;
    return true;
}

bool result_file::close() {
    if (!file_) return true;
    const std::error_code error = file_->close();
    file_.reset();
    const bool first_failure = error && !failure_;
    if (first_failure) failure_ = error;
    if (system_ != nullptr) return replace() && !first_failure;
    return !first_failure;
}

bool result_file::replace() {
    if (failure_) {
        // An incomplete listing must not take the place of a complete one.
        static_cast<void>(system_->remove_file(written_as_));
        created_ = false;
        lines_saved_ = 0;
        return true;
    }
    if (const std::error_code error = system_->rename_file(written_as_, name_)) {
        failure_ = error;
        kept_in_ = written_as_;
        return false;
    }
    return true;
}

std::string write_failure_message(const result_file& file) {
    const std::string reason = file.failure() ? file.failure()->message() : "unknown error";
    const std::string kept =
        file.saved_in() == file.name() ? "" : " (the listing is in \"" + file.saved_in() + "\")";
    return "Could not write the result file \"" + file.name() + "\": " + reason + kept + "\n";
}

namespace {

// "`why`; K primes were saved in "NAME"." with what the file holds.
std::string saved_message(std::string_view why, const result_file& file) {
    std::string text{why};
    if (!file.created()) return text + "; nothing was saved.\n";
    return text + "; " + std::to_string(file.lines_saved()) + " primes were saved in \"" +
           file.saved_in() + "\".\n";
}

}  // namespace

std::string interrupt_message(const result_file& file) {
    return saved_message("Interrupted", file);
}

std::string out_of_memory_message(const result_file& file) {
    return saved_message("Out of memory", file);
}

}  // namespace zorvanteli
