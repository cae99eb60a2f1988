// The progress line's text, and when it is drawn.
#include "dialogue/progress.hpp"

#include <cmath>
#include <cstdio>

namespace zorvanteli {
namespace {

// The least time between two drawings: ten a second at most.
constexpr std::chrono::milliseconds redraw_interval{100};

// Three significant digits, or all of a number from 100 on.
std::string three_digits(double value) {
    char text[32];
    const int decimals = value < 9.995 ? 2 : value < 99.95 ? 1 : 0;
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string rate_text(double per_second) {
    if (per_second < 1e3) return three_digits(per_second) + "/s";
    if (per_second < 1e6) return three_digits(per_second / 1e3) + " thousand/s";
    if (per_second < 1e9) return three_digits(per_second / 1e6) + " million/s";
    return three_digits(per_second / 1e9) + " billion/s";
}

std::string time_text(double seconds) {
    if (seconds < 9.95) {
        char text[16];
        std::snprintf(text, sizeof text, "%.1f s", seconds);
        return text;
    }
    if (seconds < 59.5) return std::to_string(std::lround(seconds)) + " s";
    if (seconds < 3570) return std::to_string(std::lround(seconds / 60)) + " min";
    if (seconds < 172800) return std::to_string(std::lround(seconds / 3600)) + " h";
    return std::to_string(std::llround(seconds / 86400)) + " days";
}

// The number on the line that ends at `end`, which is past a line break.
std::uint64_t number_before(std::string_view bytes, std::size_t end) {
    std::uint64_t value = 0, scale = 1;
    for (std::size_t i = end - 1; i-- > 0 && bytes[i] != '\n'; scale *= 10)
        value += static_cast<std::uint64_t>(bytes[i] - '0') * scale;
    return value;
}

std::uint64_t first_number(std::string_view bytes) {
    return number_before(bytes, bytes.find('\n') + 1);
}

}  // namespace

std::string progress_text(std::uint64_t found, std::uint64_t quota, std::uint64_t last,
                          std::chrono::duration<double> elapsed) {
    std::string text = std::to_string(found) + " of " + std::to_string(quota) + " primes";
    if (found == 0) return text;
    const double rate = static_cast<double>(found) / std::max(elapsed.count(), 1e-9);
    return text + ", at " + std::to_string(last) + ", " + rate_text(rate) + ", " +
           time_text(static_cast<double>(quota - found) / rate) + " left";
}

std::string summary_text(std::uint64_t found, std::uint64_t first, std::uint64_t last,
                         std::chrono::duration<double> elapsed, const std::string& saved_in) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", elapsed.count());
    std::string text = std::to_string(found) + (found == 1 ? " prime" : " primes");
    if (found == 1) text += ", " + std::to_string(first) + ",";
    if (found > 1) text += " from " + std::to_string(first) + " to " + std::to_string(last);
    text += std::string{" in "} + seconds;
    if (!saved_in.empty()) text += ", saved in \"" + saved_in + "\"";
    return text + "\n";
}

progress_line::progress_line(line_sink& next, std::uint64_t quota, system_seam& system, bool shown)
    : next_{next}, quota_{quota}, system_{system}, shown_{shown} {
    if (shown_) started_ = drawn_ = system_.steady_now();
}

void progress_line::write(std::string_view bytes, std::uint64_t lines) {
    next_.write(bytes, lines);
    if (!shown_ || lines == 0) return;
    if (found_ == 0) first_ = first_number(bytes);
    found_ += lines;
    last_ = number_before(bytes, bytes.size());
    // One look at the clock a block: a block holds up to a megabyte of lines, or what came in a
    // tenth of a second.
    const auto now = system_.steady_now();
    if (now - drawn_ < redraw_interval) return;
    drawn_ = now;
    const std::string text = progress_text(found_, quota_, last_, now - started_);
    // Spaces over what is left of a longer line before.
    system_.write_progress("\r" + text + std::string(width_ - std::min(width_, text.size()), ' '));
    width_ = text.size();
}

std::string progress_line::clearing() const {
    if (width_ == 0) return "";
    std::string text(1, '\r');
    return text.append(width_, ' ') + '\r';
}

void progress_line::clear() {
    if (width_ == 0) return;
    system_.write_progress(clearing());
    width_ = 0;
}

std::string progress_line::summary(const std::string& saved_in) {
    if (!shown_) return "";
    return summary_text(found_, first_, last_, system_.steady_now() - started_, saved_in);
}

}  // namespace zorvanteli
