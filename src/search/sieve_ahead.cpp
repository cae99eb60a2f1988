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
#include <vector>

#include "primality/baillie_psw.hpp"
#include "search/planned_sieve.hpp"
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
    void fill(u64 start, u64 quota) {
        try {
            planned_sieve sieve{start, quota};
            for (std::size_t k = 0;; k = (k + 1) % ring_.size()) {
                sieved& s = ring_[k];
                if (!wait_until_empty(s)) return;
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

    // The calling thread: reads the segments in order and hands their primes on.
    search_outcome read(u64 quota, prime_sink& sink) {
        search_outcome outcome;
        constexpr std::size_t batch_size = 8192;
        const std::unique_ptr<u64[]> batch{new u64[batch_size]};
        for (std::size_t k = 0;; k = (k + 1) % ring_.size()) {
            sieved& s = ring_[k];
            while (!wait_until_full(s))
                if (!sink.take({})) return stopped(outcome);
            const segmented_sieve::segment_bits& bits = s.bits;
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
            release(s);
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
    void release(sieved& s) {
        const std::lock_guard lock{mutex_};
        s.full = false;
        changed_.notify_all();
    }

    std::vector<sieved> ring_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool over_ = false;
    std::exception_ptr failure_;
};

}  // namespace

search_outcome search_primes_ahead(u64 start, u64 quota, prime_sink& sink,
                                   const sieve_ahead_options& options) {
    if (quota == 0) return {};
    segment_ring ring{options.segments};
    std::jthread sieve_thread;
    try {
        sieve_thread = std::jthread{[&] {
            if (options.worker_started) options.worker_started();
            ring.fill(start, quota);
        }};
    } catch (const std::exception&) {              // no thread to spare, or no memory for one
        return search_primes(start, quota, sink);  // all on this one
    }
    struct ender {
        segment_ring& ring;
        ~ender() { ring.end(); }  // before the sieve's thread is joined, however this ends
    } const ending{ring};
    return ring.read(quota, sink);
}

}  // namespace zorvanteli
