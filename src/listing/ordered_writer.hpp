// The hand-over of a parallel search: the lines of its work units go to the result file and
// then the console strictly in the order of the units, as soon as they are found, and the
// listing ends exactly at the quota.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "listing/listing.hpp"
#include "listing/unit_text.hpp"
#include "search/parallel_search.hpp"

namespace zorvanteli {

class ordered_writer final : public unit_sink {
public:
    struct options {
        std::uint64_t quota = 0;
        // Units being searched or waiting for the writer, at most.
        std::size_t units_in_flight = 4;
        // The units' text is kept in chunks of this size, reused as soon as they are written.
        std::size_t chunk_size = std::size_t{256} << 10;
        // The most chunks there are: the text memory. The units ahead of the one being written
        // hold two fewer at most, so that it never waits for them; a unit that needs one more
        // waits until the writer frees one. Where memory for them runs out, those made are the
        // most there are.
        std::size_t max_chunks = 16;
        // Longest time a found prime may wait before it is shown.
        std::chrono::milliseconds max_delay{100};
        // How often a waiting writer looks at the clock and asks stop_requested.
        std::chrono::milliseconds poll_interval{20};
        // True stops the search; every prime found up to the first gap is still handed on.
        std::function<bool()> stop_requested = {};
        // Called before each chunk is made, where making it may fail as memory runs out.
        std::function<void()> making_chunk = {};
    };

    ordered_writer(line_sink& file, line_sink& console, options opts);
    ~ordered_writer() override;

    prime_sink* open(const work_unit& unit) override;
    void close(prime_sink& unit) override;
    search_outcome hand_over() override;
    void stop() override;

    // Chunks made so far: the text memory the search has needed.
    std::size_t chunks_made() const;

private:
    class slot;
    bool fill(slot& unit, std::span<const std::uint64_t> primes);
    text_chunk* chunk_for(std::unique_lock<std::mutex>& lock, slot& unit);
    bool make_chunk();
    void free_chunk(slot& unit, text_chunk& chunk);
    void tell_writer(std::uint64_t unit);
    void write(std::string_view bytes, std::uint64_t lines);
    void end();

    line_sink& file_;
    line_sink& console_;
    options options_;
    mutable std::mutex mutex_;
    std::condition_variable writer_wakes_;  // something changed in the unit being written
    std::condition_variable workers_wake_;  // a slot or chunk is free, or the search is over
    std::uint64_t changes_ = 0;
    std::uint64_t head_ = 0;  // the unit being written
    std::atomic<bool> over_ = false;
    bool stopping_ = false;                     // stop() was called
    std::vector<std::unique_ptr<slot>> slots_;  // unit i goes to slot i % size
    std::vector<std::unique_ptr<text_chunk>> chunks_;
    std::vector<text_chunk*> free_chunks_;  // the last one freed is used first, still in cache
    std::size_t chunks_in_use_ = 0;
    // The most chunks there may be: max_chunks, or fewer once memory for another ran out.
    std::size_t chunk_limit_;
    bool memory_short_ = false;
};

}  // namespace zorvanteli
