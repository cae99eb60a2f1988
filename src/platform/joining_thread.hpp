// A thread that is joined where it goes out of scope, as std::jthread is. libc++ has std::jthread
// only from version 18 on, and the search needs nothing else of it: no stop token.
#pragma once

#include <concepts>
#include <thread>
#include <type_traits>
#include <utility>

namespace zorvanteli {

class joining_thread {
public:
    // Starts `function` on a new thread; throws std::system_error where none can be had.
    template <typename function>
    requires(!std::same_as<std::remove_cvref_t<function>, joining_thread>) explicit joining_thread(
        function&& f)
        : thread_{std::forward<function>(f)} {}
    joining_thread(joining_thread&&) noexcept = default;
    joining_thread& operator=(joining_thread&&) = delete;
    ~joining_thread() {
        if (thread_.joinable()) thread_.join();
    }

    void join() { thread_.join(); }

private:
    std::thread thread_;
};

}  // namespace zorvanteli
