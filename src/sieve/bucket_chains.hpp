// Buckets of entries, each a chain of 4 KiB blocks, with the blocks handed back for reuse as the
// buckets are emptied: where a full sieve files what its large primes strike next, by the segment
// it lies in. Filing an entry is a store and, once a block in 511 or more, taking a block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace zorvanteli {

template <class Entry>
class bucket_chains {
public:
    // A bucket that is filling holds one block part-full; some thousands may fill at once.
    static constexpr std::size_t block_bytes = 4096;

    bucket_chains() = default;
    bucket_chains(const bucket_chains&) = delete;
    bucket_chains& operator=(const bucket_chains&) = delete;

    // Makes `count` empty buckets, handing every block back for reuse.
    void reset(std::size_t count) {
        for (std::size_t b = 0; b < count_; ++b) release(b);
        if (count > capacity_) {
            // On the heap: the sieve that holds them may live on a small stack.
            ends_.reset(new Entry* [count] {});
            capacity_ = count;
        }
        count_ = count;
    }

    void file(std::size_t bucket, Entry entry) {
        Entry* end = ends_[bucket];
        // Null, or just past a full block, which ends on the alignment of the next.
        if ((reinterpret_cast<std::uintptr_t>(end) & (block_bytes - 1)) == 0) {
            block* const b = new_block();
            b->older = end == nullptr ? nullptr : block_of(end);
            end = b->entries;
        }
        *end = entry;
        ends_[bucket] = end + 1;
    }

    // Calls visit(entry) for each entry of `bucket`, which it empties: newest block first, the
    // blocks handed back as they are done. `visit` may file into other buckets, not this one.
    template <class Visit>
    void drain(std::size_t bucket, Visit&& visit) {
        Entry* end = std::exchange(ends_[bucket], nullptr);
        if (end == nullptr) return;
        for (block* b = block_of(end); b != nullptr;) {
            for (const Entry* e = b->entries; e != end; ++e) visit(*e);
            block* const older = b->older;
            b->older = free_;
            free_ = b;
            b = older;
            end = b == nullptr ? nullptr : std::end(b->entries);
        }
    }

    // The bytes of blocks made so far, in use or free for reuse.
    std::size_t bytes_made() const { return storage_.size() * blocks_at_once * block_bytes; }

private:
    // Aligned to their size, so that where a bucket's next entry goes also tells whether its block
    // is full; the link takes 8 bytes whatever the size of a pointer, so that the entries end at
    // the block's end.
    struct alignas(block_bytes) block {
        union {
            block* older;  // the bucket's blocks filled before this one
            std::uint64_t link_room;
        };
        Entry entries[(block_bytes - sizeof(std::uint64_t)) / sizeof(Entry)];
    };
    static_assert(sizeof(block) == block_bytes && sizeof(Entry) <= 8 && 8 % sizeof(Entry) == 0);
    // Blocks come 64 at a time, 256 KiB, as the entries grow.
    static constexpr std::size_t blocks_at_once = 64;

    // The block of the last entry written; `end` may be just past it.
    static block* block_of(Entry* end) {
        return reinterpret_cast<block*>(reinterpret_cast<std::uintptr_t>(end - 1) &
                                        ~std::uintptr_t{block_bytes - 1});
    }

    block* new_block() {
        if (free_ == nullptr) {
            storage_.push_back(std::unique_ptr<block[]>{new block[blocks_at_once]});
            for (std::size_t i = 0; i < blocks_at_once; ++i) {
                storage_.back()[i].older = free_;
                free_ = &storage_.back()[i];
            }
        }
        block* const b = free_;
        free_ = b->older;
        return b;
    }

    void release(std::size_t bucket) {
        Entry* const end = std::exchange(ends_[bucket], nullptr);
        if (end == nullptr) return;
        for (block* b = block_of(end); b != nullptr;) {
            block* const older = b->older;
            b->older = free_;
            free_ = b;
            b = older;
        }
    }

    std::unique_ptr<Entry*[]> ends_;  // where each bucket's next entry goes; null when empty
    std::size_t count_ = 0, capacity_ = 0;
    block* free_ = nullptr;
    std::vector<std::unique_ptr<block[]>> storage_;
};

}  // namespace zorvanteli
