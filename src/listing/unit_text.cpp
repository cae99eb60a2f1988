// A work unit's lines in a chain of chunks, published a batch at a time.
#include "listing/unit_text.hpp"

#include <algorithm>

namespace zorvanteli {
namespace {

// A line is written in one 32-byte stride, whatever its length.
constexpr std::size_t stride_slack = 32;

constexpr std::uint64_t full_bit = std::uint64_t{1} << 63;
constexpr std::uint64_t size_mask = (std::uint64_t{1} << 32) - 1;

std::size_t decimal_digits(std::uint64_t x) {
    std::size_t digits = 1;
    for (; x >= 10; x /= 10) ++digits;
    return digits;
}

}  // namespace

text_chunk::text_chunk(std::size_t capacity)
    : capacity_{std::clamp<std::size_t>(capacity, ascending_decimal::max_line,
                                        std::size_t{1} << 30)},
      // Only the pages written to become memory of the process.
      bytes_{new char[capacity_ + stride_slack]} {}

void unit_text::start(std::uint64_t high, text_chunk& first) {
    line_length_ = decimal_digits(high) + 1;
    digits_ = ascending_decimal{};
    first.state_.store(0, std::memory_order_relaxed);
    first.next_ = nullptr;
    write_ = read_ = &first;
    used_ = read_bytes_ = 0;
    lines_ = read_lines_ = 0;
}

std::size_t unit_text::append(std::span<const std::uint64_t> primes) {
    // As many lines as surely fit, without a check per line.
    const std::size_t count = std::min((write_->capacity_ - used_) / line_length_, primes.size());
    char* out = write_->bytes_.get() + used_;
    for (const std::uint64_t p : primes.first(count)) out += digits_.write_line(p, out);
    used_ = static_cast<std::size_t>(out - write_->bytes_.get());
    lines_ += count;
    write_->state_.store(lines_ << 32 | used_, std::memory_order_release);
    return count;
}

void unit_text::extend(text_chunk& next) {
    next.state_.store(0, std::memory_order_relaxed);
    next.next_ = nullptr;
    write_->next_ = &next;
    write_->state_.store(full_bit | lines_ << 32 | used_, std::memory_order_release);
    write_ = &next;
    used_ = 0;
    lines_ = 0;
}

unit_text::lines unit_text::ready() const {
    const std::uint64_t state = read_->state_.load(std::memory_order_acquire);
    const std::size_t size = static_cast<std::size_t>(state & size_mask);
    return {{read_->bytes_.get() + read_bytes_, size - read_bytes_},
            ((state & ~full_bit) >> 32) - read_lines_,
            (state & full_bit) != 0};
}

void unit_text::take(std::size_t bytes, std::uint64_t count) {
    read_bytes_ += bytes;
    read_lines_ += count;
}

text_chunk& unit_text::next_chunk() {
    text_chunk& done = *read_;
    read_ = done.next_;
    read_bytes_ = 0;
    read_lines_ = 0;
    return done;
}

}  // namespace zorvanteli
