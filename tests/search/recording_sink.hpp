// A sink that keeps every prime a search hands it, checks that they come on the thread that
// made it, and refuses (as on an interrupt) after a set number.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <thread>
#include <vector>

#include "search/search.hpp"

namespace zorvanteli {

class recording_sink final : public prime_sink {
public:
    std::vector<std::uint64_t> primes;
    std::size_t refuse_after = ~std::size_t{0};  // primes taken
    bool take(std::span<const std::uint64_t> batch) override {
        EXPECT_EQ(std::this_thread::get_id(), thread_) << "only the calling thread takes primes";
        EXPECT_LT(primes.size(), refuse_after) << "called again after refusing";
        primes.insert(primes.end(), batch.begin(), batch.end());
        return primes.size() < refuse_after;
    }

private:
    std::thread::id thread_ = std::this_thread::get_id();
};

}  // namespace zorvanteli
