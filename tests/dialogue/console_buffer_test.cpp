// Checks that the dialogue's text reaches the seam's console writing whole and in order, at the
// reads that wait for the user, and that the stream never fails.
#include "dialogue/console_buffer.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_system.hpp"

namespace zorvanteli {

TEST(console_buffer, hands_text_on_when_flushed_or_full) {
    fake_system system;
    std::ostringstream console;
    system.console = &console;
    std::vector<std::size_t> writes;  // the console's size before each write
    system.console_writing = [&] { writes.push_back(console.str().size()); };
    const std::string long_text(1300, 'x');
    {
        console_buffer buffer{system};
        std::ostream out{&buffer};
        std::istringstream in{"7"};
        in.tie(&out);
        out << "Start?\n";
        EXPECT_EQ(writes.size(), 0u);
        int answer = 0;
        in >> answer;  // the prompt comes before the read
        EXPECT_EQ(console.str(), "Start?\n");
        out << answer << long_text;  // more than the buffer holds goes in buffer-sized writes
        EXPECT_EQ(writes, (std::vector<std::size_t>{0, 7, 519}));
        out << std::flush;
        out.flush();  // nothing more to write
        out << "Done!";
        EXPECT_TRUE(out.good());
    }  // the rest goes when the buffer does
    EXPECT_EQ(writes, (std::vector<std::size_t>{0, 7, 519, 1031, 1308}));
    EXPECT_EQ(console.str(), "Start?\n7" + long_text + "Done!");
}

}  // namespace zorvanteli
