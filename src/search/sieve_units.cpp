// The units in flight, one slot each, and what passes between the sieves and the reader: a unit's
// sieved segments, in the order of the units, and the end of the search.
#include "search/sieve_units.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/joining_thread.hpp"
#include "primality/baillie_psw.hpp"
#include "sieve/sieve.hpp"
#include "sieve/survivors.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};

// How often the calling thread, while it waits for a sieve, lets the sink look for an interrupt.
constexpr auto poll_interval = std::chrono::milliseconds{10};

struct sieved {
    std::unique_ptr<u64[]> words;  // one of segmented_sieve::make_buffer()
    segmented_sieve::segment_bits bits;
};

// A unit in flight: its segments as they are sieved, and the buffers free for more.
struct unit_slot {
    u64 index = 0;
    bool taken = false;     // a sieve has the unit
    bool complete = false;  // every segment of the unit is in `ready` or read
    bool last = false;      // the unit ends at 2^64 - 1
    std::deque<sieved> ready;
    std::vector<sieved> free;
};

class unit_ring {
public:
    unit_ring(u64 start, u64 quota, const sieve_units_options& options)
        : options_{options},
          slots_(options.sieves + 1),
          next_low_{start},
          start_{start},
          quota_{quota} {}

    // A sieve's thread: takes unit after unit and sieves it into the unit's slot.
    void sieve() {
        try {
            std::optional<segmented_sieve> sieve;
            for (;;) {
                sieve_stretch stretch;
                u64 low = 0;
                unit_slot* slot = take_unit(low, stretch);
                if (slot == nullptr) return;
                if (sieve)
                    sieve->reset(low, stretch.stop, stretch.depth, top, stretch.window);
                else
                    sieve.emplace(low, stretch.stop, best_instruction_set(), stretch.depth, top,
                                  stretch.window);
                sieve->check_for_interruption(options_.interrupted);
                for (;;) {
                    sieved s;
                    if (!take_buffer(*slot, s)) return;
                    if (!sieve->next_segment(s.words, s.bits)) {
                        give_back(*slot, std::move(s));
                        break;
                    }
                    publish(*slot, std::move(s));
                }
                complete(*slot);
            }
        } catch (...) {
            const std::lock_guard lock{mutex_};
            if (!failure_) failure_ = std::current_exception();
            changed_.notify_all();
        }
    }

    // The calling thread: reads the units in order. An interrupt during a set-up stops the
    // search as the sink would; any other failure of a sieve is rethrown.
    search_outcome read(prime_sink& sink) {
        search_outcome outcome;
        try {
            read_into(sink, outcome);
        } catch (const sieve_interrupted&) {
            outcome.stopped = true;
        }
        return outcome;
    }

    void end() {
        const std::lock_guard lock{mutex_};
        over_ = true;
        changed_.notify_all();
    }

private:
    void read_into(prime_sink& sink, search_outcome& outcome) {
        constexpr std::size_t batch_size = 8192;
        const std::unique_ptr<u64[]> batch{new u64[batch_size]};
        for (u64 index = 0;; ++index) {
            unit_slot& slot = slots_[index % slots_.size()];
            for (;;) {
                sieved s;
                bool last = false;
                while (!next_ready(slot, index, s, last))
                    if (!sink.take({})) {
                        outcome.stopped = true;
                        return;
                    }
                if (!s.words) {  // the unit is read through
                    if (last) {
                        outcome.reached_end = true;
                        return;
                    }
                    break;
                }
                const segmented_sieve::segment_bits& bits = s.bits;
                std::size_t count = 0;
                for (std::size_t i = 0; i < bits.leading_count; ++i)
                    batch[count++] = bits.leading[i];
                for (std::size_t word = 0;;) {
                    const survivors_taken taken = collect_survivors(
                        s.words.get() + word, bits.words - word, bits.low + 240 * u64{word},
                        batch.get() + count, batch_size - count);
                    word += taken.words;
                    count += taken.numbers;
                    if (bits.confirm) count = keep_primes(std::span{batch.get(), count});
                    count = static_cast<std::size_t>(std::min<u64>(count, quota_ - outcome.found));
                    outcome.found += count;
                    if (!sink.take(std::span{batch.get(), count})) {
                        outcome.stopped = true;
                        return;
                    }
                    if (outcome.found == quota_) return;
                    count = 0;
                    if (word == bits.words) break;
                }
                give_back(slot, std::move(s));
            }
            release(slot);
        }
    }

    // The next unit for a sieve, once its slot is free: null once the range is handed out or
    // the search is over.
    unit_slot* take_unit(u64& low, sieve_stretch& stretch) {
        std::unique_lock lock{mutex_};
        if (handed_out_ || over_) return nullptr;
        const u64 index = next_index_++;
        low = next_low_;
        // The primes still wanted from here, about: the quota less those the units before are
        // expected to hold, at least a sixteenth of it.
        const double before =
            static_cast<double>(low - start_) / std::log(std::max(static_cast<double>(low), 100.0));
        const double left =
            std::max(static_cast<double>(quota_) - before, static_cast<double>(quota_) / 16 + 1);
        stretch = options_.planner(low, static_cast<u64>(left));
        if (top - low >= options_.unit_numbers)
            stretch.stop = std::min(stretch.stop, low + (options_.unit_numbers - 1));
        handed_out_ = stretch.stop == top;
        next_low_ = handed_out_ ? top : stretch.stop + 1;
        // The slot is free once the reader is done with the unit before it there.
        unit_slot& slot = slots_[index % slots_.size()];
        changed_.wait(lock, [&] { return over_ || !slot.taken; });
        if (over_) return nullptr;
        slot.index = index;
        slot.taken = true;
        slot.complete = false;
        slot.last = stretch.stop == top;
        while (slot.free.size() + slot.ready.size() < options_.segments_per_unit)
            slot.free.push_back({segmented_sieve::make_buffer(), {}});
        return &slot;
    }

    // A free buffer of the slot, once the reader has given one back; false once the search is
    // over.
    bool take_buffer(unit_slot& slot, sieved& s) {
        std::unique_lock lock{mutex_};
        changed_.wait(lock, [&] { return over_ || !slot.free.empty(); });
        if (over_) return false;
        s = std::move(slot.free.back());
        slot.free.pop_back();
        return true;
    }
    void publish(unit_slot& slot, sieved&& s) {
        const std::lock_guard lock{mutex_};
        slot.ready.push_back(std::move(s));
        changed_.notify_all();
    }
    void give_back(unit_slot& slot, sieved&& s) {
        const std::lock_guard lock{mutex_};
        slot.free.push_back(std::move(s));
        changed_.notify_all();
    }
    void complete(unit_slot& slot) {
        const std::lock_guard lock{mutex_};
        slot.complete = true;
        changed_.notify_all();
    }
    void release(unit_slot& slot) {
        const std::lock_guard lock{mutex_};
        slot.taken = false;
        changed_.notify_all();
    }
    // Waits a while for the unit's next segment; true with it, or with none where the unit is
    // read through (`last` when it was the range's last). Rethrows what ended a sieve.
    bool next_ready(unit_slot& slot, u64 index, sieved& s, bool& last) {
        std::unique_lock lock{mutex_};
        const auto here = [&] { return slot.taken && slot.index == index; };
        changed_.wait_for(lock, poll_interval, [&] {
            return failure_ || (here() && (!slot.ready.empty() || slot.complete));
        });
        if (failure_) std::rethrow_exception(failure_);
        if (!here()) return false;
        if (!slot.ready.empty()) {
            s = std::move(slot.ready.front());
            slot.ready.pop_front();
            return true;
        }
        if (!slot.complete) return false;
        last = slot.last;
        return true;
    }

    const sieve_units_options& options_;
    std::vector<unit_slot> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool over_ = false;
    bool handed_out_ = false;  // the unit that ends at 2^64 - 1 is taken
    u64 next_index_ = 0;
    u64 next_low_;
    const u64 start_, quota_;
    std::exception_ptr failure_;
};

// Remembers whether any prime went on: until then a search that fails may start over.
class watched_sink final : public prime_sink {
public:
    explicit watched_sink(prime_sink& sink) : sink_{sink} {}
    bool take(std::span<const u64> primes) override {
        handed_on_ = handed_on_ || !primes.empty();
        return sink_.take(primes);
    }
    bool handed_on() const { return handed_on_; }

private:
    prime_sink& sink_;
    bool handed_on_ = false;
};

search_outcome in_units(u64 start, u64 quota, prime_sink& sink,
                        const sieve_units_options& options) {
    unit_ring ring{start, quota, options};
    std::vector<joining_thread> sieves;
    sieves.reserve(options.sieves);
    struct ender {
        unit_ring& ring;
        ~ender() { ring.end(); }  // before the sieves' threads are joined, however this ends
    };
    const ender ending{ring};
    for (unsigned i = 0; i < std::max(options.sieves, 1u); ++i) {
        sieves.emplace_back([&] {
            if (options.worker_started) options.worker_started();
            ring.sieve();
        });
    }
    return ring.read(sink);
}

}  // namespace

search_outcome search_in_sieve_units(u64 start, u64 quota, prime_sink& sink,
                                     const sieve_units_options& options) {
    if (quota == 0) return {};
    watched_sink watched{sink};
    try {
        return in_units(start, quota, watched, options);
    } catch (const std::exception&) {  // no thread to spare, or no memory for a sieve
        if (watched.handed_on()) throw;
    }
    // All on this thread, once the sieves and their memory are gone.
    return search_primes(start, quota, sink, {}, options.interrupted);
}

}  // namespace zorvanteli
