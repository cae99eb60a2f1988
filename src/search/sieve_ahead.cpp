// A ring of sieved segments between the sieve's thread and the calling thread. A segment travels
// as its bits, a byte for 30 numbers: far less to move from core to core than the primes or
// their lines, and reading the bits out is cheap.
#include "search/sieve_ahead.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/joining_thread.hpp"
#include "primality/baillie_psw.hpp"
#include "primality/integer_sqrt.hpp"
#include "search/planned_sieve.hpp"
#include "sieve/bucket_sieve.hpp"
#include "sieve/sieve.hpp"
#include "sieve/survivors.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

// How often the calling thread, while it waits for the sieve, lets the sink look for an interrupt.
constexpr auto poll_interval = std::chrono::milliseconds{10};

struct sieved {
    std::unique_ptr<u64[]> words = segmented_sieve::make_buffer();
    segmented_sieve::segment_bits bits;
    bool last = false;  // the sieve is done: the range ended, or the quota is surely met
    bool full = false;  // sieved and not yet read; guarded by the ring's mutex
};

class segment_ring {
public:
    explicit segment_ring(std::size_t segments) : ring_(std::max<std::size_t>(segments, 2)) {}

    // The sieve's thread: sieves segment after segment until the range ends, the segments hold
    // the quota for sure, or the calling thread is done.
    void fill(u64 start, u64 quota, const stretch_planner& planner) {
        try {
            planned_sieve sieve{start, quota, planner};
            for (std::size_t k = 0;; k = (k + 1) % ring_.size()) {
                sieved& s = ring_[k];
                if (!wait_until_empty(s)) return;
                if (sieve.stretch_done() && !sieve.finished()) {
                    // A stretch meant to hold the quota was not enough, or seems not to be from
                    // what it holds for sure: once every segment is read, the count is exact.
                    // One cut short by its memory is followed by the next at once.
                    u64 found = sieve.found();
                    if (sieve.stretch().holds_quota && !wait_until_read(found)) return;
                    sieve.next_stretch(found);
                }
                if (!sieve.next_segment(s.words, s.bits)) s.bits = {};
                s.last = sieve.finished() || sieve.found() >= quota;
                publish(s);
                if (s.last) return;
            }
        } catch (...) {
            const std::lock_guard lock{mutex_};
            failure_ = std::current_exception();
            changed_.notify_all();
        }
    }

    // The calling thread: reads the segments in order and hands their primes on. Where the
    // sieve leaves it a share of the bucket primes, it strikes them into each segment first;
    // it sets up the first stretch's share while the sieve sets up the rest.
    search_outcome read(u64 start, u64 quota, const stretch_planner& planner, prime_sink& sink) {
        search_outcome outcome;
        constexpr std::size_t batch_size = 8192;
        const std::unique_ptr<u64[]> batch{new u64[batch_size]};
        bucket_sieve shared;
        const u64 first_low = start - start % 30;
        const sieve_stretch first = planner(start, quota);
        bool prepared = first.shared_from < first.stop;
        if (prepared) {
            const std::size_t bytes = segmented_sieve::full_depth_segment_bytes(start, first.stop);
            shared.reset(first_low, first.stop, first.shared_from, first.stop, bytes);
            shared.add_primes(integer_sqrt(segment_last(first_low, first.stop, bytes)));
        }
        for (std::size_t k = 0;; k = (k + 1) % ring_.size()) {
            sieved& s = ring_[k];
            while (!wait_until_full(s))
                if (!sink.take({})) return stopped(outcome);
            const segmented_sieve::segment_bits& bits = s.bits;
            if (bits.words != 0 && bits.shared_from != ~u64{0}) {
                if (bits.first && !std::exchange(prepared, false))
                    shared.reset(bits.low, bits.stop, bits.shared_from, bits.stop,
                                 bits.segment_bytes);
                shared.add_primes(
                    integer_sqrt(segment_last(bits.low, bits.stop, bits.segment_bytes)));
                shared.strike(
                    reinterpret_cast<std::uint8_t*>(s.words.get()),
                    segment_last(bits.low, bits.stop, bits.segment_bytes) / 30 - bits.low / 30 + 1);
            }
            std::size_t count = 0;
            for (std::size_t i = 0; i < bits.leading_count; ++i) batch[count++] = bits.leading[i];
            for (std::size_t word = 0;;) {
                const survivors_taken taken = collect_survivors(
                    s.words.get() + word, bits.words - word, bits.low + 240 * u64{word},
                    batch.get() + count, batch_size - count);
                word += taken.words;
                count += taken.numbers;
                if (bits.confirm) count = keep_primes(std::span{batch.get(), count});
                count = static_cast<std::size_t>(std::min<u64>(count, quota - outcome.found));
                outcome.found += count;
                if (!sink.take(std::span{batch.get(), count})) return stopped(outcome);
                if (outcome.found == quota) return outcome;
                count = 0;
                if (word == bits.words) break;
            }
            if (s.last) {
                outcome.reached_end = true;  // the quota is met above, had it been
                return outcome;
            }
            release(s, outcome.found);
        }
    }

    void end() {
        const std::lock_guard lock{mutex_};
        over_ = true;
        changed_.notify_all();
    }

private:
    static search_outcome stopped(search_outcome outcome) {
        outcome.stopped = true;
        return outcome;
    }
    // False once the calling thread is done.
    bool wait_until_empty(sieved& s) {
        std::unique_lock lock{mutex_};
        changed_.wait(lock, [&] { return over_ || !s.full; });
        return !over_;
    }
    void publish(sieved& s) {
        const std::lock_guard lock{mutex_};
        s.full = true;
        changed_.notify_all();
    }
    // Waits a while; rethrows what ended the sieve's thread.
    bool wait_until_full(sieved& s) {
        std::unique_lock lock{mutex_};
        changed_.wait_for(lock, poll_interval, [&] { return s.full || failure_; });
        if (failure_) std::rethrow_exception(failure_);
        return s.full;
    }
    void release(sieved& s, u64 found) {
        const std::lock_guard lock{mutex_};
        s.full = false;
        read_found_ = found;
        changed_.notify_all();
    }
    // Waits until the calling thread has read every segment handed over; sets `found` to the
    // primes it found in them. False once the calling thread is done.
    bool wait_until_read(u64& found) {
        std::unique_lock lock{mutex_};
        changed_.wait(lock, [&] {
            return over_ || std::ranges::none_of(ring_, [](const sieved& s) { return s.full; });
        });
        found = read_found_;
        return !over_;
    }
    // The last number of the segment of `bytes` that starts at `low`.
    static u64 segment_last(u64 low, u64 stop, std::size_t bytes) {
        return std::min(stop, low + (30 * u64{bytes} - 1));
    }

    std::vector<sieved> ring_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool over_ = false;
    u64 read_found_ = 0;  // the primes of the segments read so far
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

search_outcome sieve_ahead(u64 start, u64 quota, prime_sink& sink,
                           const sieve_ahead_options& options, const stretch_planner& planner) {
    segment_ring ring{options.segments};
    const joining_thread sieve_thread{[&] {
        if (options.worker_started) options.worker_started();
        ring.fill(start, quota, planner);
    }};
    struct ender {
        segment_ring& ring;
        ~ender() { ring.end(); }  // before the sieve's thread is joined, however this ends
    } const ending{ring};
    return ring.read(start, quota, planner, sink);
}

}  // namespace

search_outcome search_primes_ahead(u64 start, u64 quota, prime_sink& sink,
                                   const sieve_ahead_options& options) {
    if (quota == 0) return {};
    const stretch_planner planner = options.planner ? options.planner : stretches_for(true);
    watched_sink watched{sink};
    try {
        return sieve_ahead(start, quota, watched, options, planner);
    } catch (const std::exception&) {  // no thread to spare, or no memory for its sieve or ours
        if (watched.handed_on()) throw;
    }
    // All on this thread, once the sieve ahead and its memory are gone.
    return search_primes(start, quota, sink);
}

}  // namespace zorvanteli
