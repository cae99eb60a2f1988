// One work unit's share of the listing: its lines, formatted on the worker that searches the
// unit into a chain of fixed-size chunks, and published a batch at a time, so that the writer
// can hand on the finished lines while the worker goes on finding more.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "listing/line_format.hpp"

namespace zorvanteli {

// A piece of text memory that a unit fills once and the writer empties once; then it is used
// again, by any unit. On cache lines of its own, like the unit texts: a line that two workers
// write to would pass between their processors with every batch.
class alignas(64) text_chunk {
public:
    // `capacity` bytes of lines; at most 1 GiB.
    explicit text_chunk(std::size_t capacity);
    std::size_t capacity() const { return capacity_; }

private:
    friend class unit_text;
    std::size_t capacity_;
    std::unique_ptr<char[]> bytes_;
    // What the reader may see: the bytes and lines written, and whether the chunk is full and
    // `next_` set; in one word, so that they always agree.
    std::atomic<std::uint64_t> state_{0};
    text_chunk* next_ = nullptr;
};

// One thread appends lines, another reads them; the reader sees whole lines only.
class unit_text {
public:
    // The worker's side. Starts the text of a unit whose numbers end at `high`, in `first`.
    // The reader must not be reading this text meanwhile.
    void start(std::uint64_t high, text_chunk& first);
    // Formats as many of `primes` as fit in the current chunk, publishes them and returns how
    // many; 0 when the chunk is full.
    std::size_t append(std::span<const std::uint64_t> primes);
    // Goes on in `next` once the current chunk is full.
    void extend(text_chunk& next);

    // The reader's side: the published lines it has not taken yet, in the chunk it reads.
    struct lines {
        std::string_view bytes;
        std::uint64_t count = 0;
        bool chunk_full = false;  // and nothing more will come in this chunk
    };
    lines ready() const;
    // Marks the first `bytes`, holding `count` lines, of ready() as taken.
    void take(std::size_t bytes, std::uint64_t count);
    // Once the chunk read is full and taken: moves on to the next one and returns the one done
    // with, for reuse.
    text_chunk& next_chunk();
    // The chunk the reader is in; the unit's last, once the unit is complete and read.
    text_chunk* reading() const { return read_; }

private:
    // The worker's, written with every line.
    alignas(64) text_chunk* write_ = nullptr;
    std::size_t used_ = 0;
    std::uint64_t lines_ = 0;
    std::size_t line_length_ = ascending_decimal::max_line;  // the longest line of the unit
    ascending_decimal digits_;
    // The reader's.
    alignas(64) text_chunk* read_ = nullptr;
    std::size_t read_bytes_ = 0;
    std::uint64_t read_lines_ = 0;
};

}  // namespace zorvanteli
