// Workers fill the texts of a ring of units; the calling thread writes the ring's oldest unit,
// its lines as they come, and moves on once that unit is done.
#include "listing/ordered_writer.hpp"

#include <algorithm>
#include <new>

namespace zorvanteli {
namespace {

// The length of the first `lines` lines of `text`, which has at least that many.
std::size_t length_of_lines(std::string_view text, std::uint64_t lines) {
    std::size_t length = 0;
    for (; lines > 0; --lines) length = text.find('\n', length) + 1;
    return length;
}

}  // namespace

// A place in the ring: the text of one unit in flight, and what the writer needs to know of it.
// Its fields but the text are guarded by the writer's mutex.
class ordered_writer::slot final : public prime_sink {
public:
    slot(ordered_writer& owner, std::uint64_t first_unit) : next_unit{first_unit}, owner_{owner} {}
    bool take(std::span<const std::uint64_t> primes) override { return owner_.fill(*this, primes); }

    unit_text text;
    std::uint64_t next_unit;  // the unit it holds, or is kept for while free
    bool in_use = false;
    std::size_t chunks = 0;  // the chunks it holds
    bool last = false;       // the unit ends at 2^64 - 1
    bool complete = false;   // every prime of the unit is in the text

private:
    ordered_writer& owner_;
};

ordered_writer::ordered_writer(line_sink& file, line_sink& console, options opts)
    : file_{file},
      console_{console},
      options_{std::move(opts)},
      chunk_limit_{std::max<std::size_t>(options_.max_chunks, 3)} {
    const std::size_t count = std::max<std::size_t>(options_.units_in_flight, 1);
    for (std::size_t i = 0; i < count; ++i) slots_.push_back(std::make_unique<slot>(*this, i));
}

ordered_writer::~ordered_writer() = default;

std::size_t ordered_writer::chunks_made() const {
    const std::lock_guard lock{mutex_};
    return chunks_.size();
}

text_chunk* ordered_writer::chunk_for(std::unique_lock<std::mutex>& lock, slot& unit) {
    for (;;) {
        if (over_) return nullptr;
        // The units after the one being written leave two chunks to it: one to fill while the
        // writer writes the other. It is the one whose chunks the writer frees, so it must
        // never wait for the others.
        const std::size_t spare = unit.next_unit == head_ ? 0 : 2;
        if (chunks_in_use_ + 1 + spare <= chunks_.size()) {
            text_chunk* const chunk = free_chunks_.back();
            free_chunks_.pop_back();
            ++chunks_in_use_;
            ++unit.chunks;
            return chunk;
        }
        if (chunks_.size() < chunk_limit_ && make_chunk()) continue;
        // Fewer than two chunks could be made: the writer has none of this unit's to free.
        if (memory_short_ && spare == 0 && unit.chunks < 2) throw std::bad_alloc{};
        workers_wake_.wait(lock);
    }
}

bool ordered_writer::make_chunk() {
    try {
        if (options_.making_chunk) options_.making_chunk();
        free_chunks_.reserve(chunks_.size() + 1);
        free_chunks_.push_back(
            chunks_.emplace_back(std::make_unique<text_chunk>(options_.chunk_size)).get());
        return true;
    } catch (const std::bad_alloc&) {
        // Memory ran out: the search goes on with the chunks there are, which the writer frees
        // in turn.
        memory_short_ = true;
        chunk_limit_ = chunks_.size();
        return false;
    }
}

void ordered_writer::free_chunk(slot& unit, text_chunk& chunk) {
    free_chunks_.push_back(&chunk);
    --chunks_in_use_;
    --unit.chunks;
    workers_wake_.notify_all();
}

prime_sink* ordered_writer::open(const work_unit& unit) {
    std::unique_lock lock{mutex_};
    slot& s = *slots_[static_cast<std::size_t>(unit.index % slots_.size())];
    // Kept for this unit: a later unit that comes first must not take it.
    workers_wake_.wait(lock, [&] { return over_ || (!s.in_use && s.next_unit == unit.index); });
    text_chunk* const first = chunk_for(lock, s);
    if (first == nullptr) return nullptr;
    s.in_use = true;
    s.last = unit.last;
    s.complete = false;
    s.text.start(unit.high, *first);
    tell_writer(unit.index);
    return &s;
}

void ordered_writer::close(prime_sink& unit) {
    const std::lock_guard lock{mutex_};
    slot& s = static_cast<slot&>(unit);
    s.complete = true;
    tell_writer(s.next_unit);
}

void ordered_writer::tell_writer(std::uint64_t unit) {
    // The writer looks at the unit being written only, and at the next one as soon as it moves
    // on; waking it for any other is a costly futile round trip.
    if (unit != head_) return;
    ++changes_;
    writer_wakes_.notify_one();
}

bool ordered_writer::fill(slot& unit, std::span<const std::uint64_t> primes) {
    while (!over_.load(std::memory_order_relaxed)) {
        primes = primes.subspan(unit.text.append(primes));
        if (primes.empty()) return true;
        // The chunk is full: go on in another; the full one is ready for the writer.
        std::unique_lock lock{mutex_};
        text_chunk* const next = chunk_for(lock, unit);
        if (next == nullptr) return false;
        unit.text.extend(*next);
        tell_writer(unit.next_unit);
    }
    return false;
}

void ordered_writer::write(std::string_view bytes, std::uint64_t lines) {
    file_.write(bytes, lines);
    console_.write(bytes, lines);
}

void ordered_writer::stop() {
    const std::lock_guard lock{mutex_};
    stopping_ = true;
    ++changes_;
    writer_wakes_.notify_one();
}

void ordered_writer::end() {
    const std::lock_guard lock{mutex_};
    over_ = true;
    workers_wake_.notify_all();
}

search_outcome ordered_writer::hand_over() {
    // However this ends, even by an exception, the workers must learn that the search is over.
    struct ender {
        ordered_writer& writer;
        ~ender() { writer.end(); }
    } const ending{*this};

    search_outcome outcome;
    const std::uint64_t quota = options_.quota;
    if (quota == 0) return outcome;
    auto last_write = std::chrono::steady_clock::now();
    std::unique_lock lock{mutex_};
    for (;;) {
        slot& s = *slots_[static_cast<std::size_t>(head_ % slots_.size())];
        const bool opened = s.in_use && s.next_unit == head_;
        const bool complete = opened && s.complete;
        const std::uint64_t seen_changes = changes_;
        const bool stopping = stopping_;
        lock.unlock();

        if (!outcome.stopped &&
            (stopping || (options_.stop_requested && options_.stop_requested()))) {
            outcome.stopped = true;
            end();  // the workers stop; what they have published still counts
        }
        bool unit_done = false;
        // Every full chunk, and the lines after them when they are due.
        for (bool more = opened; more;) {
            // Read after `complete`: a complete unit's text is final here.
            const unit_text::lines ready = s.text.ready();
            if (ready.count >= quota - outcome.found) {  // the listing ends in these lines
                const std::uint64_t lines = quota - outcome.found;
                write(ready.bytes.substr(0, length_of_lines(ready.bytes, lines)), lines);
                outcome.found = quota;
                return outcome;
            }
            const auto now = std::chrono::steady_clock::now();
            if (ready.count != 0 && (ready.chunk_full || complete || outcome.stopped ||
                                     now - last_write >= options_.max_delay)) {
                write(ready.bytes, ready.count);
                s.text.take(ready.bytes.size(), ready.count);
                outcome.found += ready.count;
                last_write = now;
            }
            more = ready.chunk_full;  // and written by now
            if (more) {
                text_chunk& done = s.text.next_chunk();
                lock.lock();
                free_chunk(s, done);
                lock.unlock();
            } else {
                unit_done = complete;
            }
        }
        if (unit_done) {
            if (s.last) {
                outcome.reached_end = true;
                return outcome;
            }
            lock.lock();
            free_chunk(s, *s.text.reading());
            s.in_use = false;
            s.next_unit = head_ + slots_.size();
            ++head_;
            continue;
        }
        // Stopped in the middle of a unit: what follows the gap is dropped.
        if (outcome.stopped) return outcome;
        lock.lock();
        writer_wakes_.wait_for(lock, options_.poll_interval,
                               [&] { return changes_ != seen_changes; });
    }
}

}  // namespace zorvanteli
