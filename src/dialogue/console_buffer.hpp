// A stream buffer that hands the dialogue's text to the system seam's console writing, so that
// the banner and the prompts meet a full or failed console as the listing does.
#pragma once

#include <array>
#include <streambuf>

#include "platform/system.hpp"

namespace zorvanteli {

// Gathers text until it is flushed or a few hundred bytes are waiting. Never fails: what becomes
// of the console is the seam's business, and a stream that failed once would show nothing more.
class console_buffer final : public std::streambuf {
public:
    explicit console_buffer(system_seam& system);
    ~console_buffer() override;
    console_buffer(const console_buffer&) = delete;
    console_buffer& operator=(const console_buffer&) = delete;

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    void hand_on();
    system_seam& system_;
    std::array<char, 512> text_;
};

}  // namespace zorvanteli
