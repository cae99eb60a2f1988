// End-to-end tests: run the built program in a fresh folder with prepared input and check the
// console, standard error, the exit status and the result file, also under closed pipes and faults.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sched.h>
#include <sys/mount.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr std::string_view banner =
    "          A TOLVEK PRODUCT\n"
    "--------------------------------------\n"
    "             ZORVANTELI!\n"
    "--------------------------------------\n"
    "-----------------V1.1-----------------\n"
    "This program searches for prime numbers\n"
    "and writes them to a textfile, having\n"
    " the current time and date as its filename,\n"
    "into the same catalouge as the program.\n\n"
    "Start the search from which number?\n";
const std::string asked = "Look for how many prime numbers?\n";
const std::string start_failed = "Error in number conversion! Sets start number to 1.";
const std::string quota_failed = "Error in number conversion! Sets number to 1.";
const std::string closing = "Done! Press enter to quit program.";
const std::string start_fails = start_failed + asked;
const std::string quota_fails = asked + quota_failed;

// A hung run dies by SIGALRM after this long instead of hanging the test; generous, since only
// a hang reaches it.
constexpr unsigned hang_limit_seconds = 60;

std::string console(std::string_view questions, std::string_view listing,
                    std::string_view note = "") {
    return std::string{banner}.append(questions).append("\n").append(listing).append(note).append(
        "\n" + closing);
}

std::string reached(int found, std::string_view quota) {
    return "Reached 18446744073709551615, the largest number that can be searched; found " +
           std::to_string(found) + " of " + std::string{quota} + " primes.\n";
}

std::string small_primes(std::uint64_t from, std::size_t count) {
    std::string text;
    for (std::uint64_t n = std::max<std::uint64_t>(from, 2); count > 0; ++n) {
        bool prime = n == 2 || n % 2 != 0;
        for (std::uint64_t d = 3; prime && d * d <= n; d += 2) prime = n % d != 0;
        if (prime) text += std::to_string(n) + "\n", --count;
    }
    return text;
}

// The listing primesieve prints for [from, to], or "" when it is not installed.
std::string primesieve_listing(const std::string& from, const std::string& to) {
    if (*PRIMESIEVE_PROGRAM == '\0') return "";
    const std::string command = "'" PRIMESIEVE_PROGRAM "' " + from + " " + to + " --print";
    std::string text;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    ::pclose(pipe);
    return text;
}

// Reports where two long texts part, instead of printing megabytes.
testing::AssertionResult same_text(const std::string& actual, const std::string& expected) {
    if (actual == expected) return testing::AssertionSuccess();
    const auto at =
        static_cast<std::size_t>(std::ranges::mismatch(actual, expected).in1 - actual.begin());
    const std::size_t from = at < 40 ? 0 : at - 40;
    return testing::AssertionFailure()
           << "texts of " << actual.size() << " and " << expected.size() << " bytes part at byte "
           << at << ":\n  actual:   \"" << actual.substr(from, 80) << "\"\n  expected: \""
           << expected.substr(from, 80) << "\"";
}

// The numbers of a listing; its lines are whole when they hold all of it.
std::vector<std::uint64_t> numbers_of(const std::string& text) {
    std::istringstream in{text};
    std::vector<std::uint64_t> numbers;
    for (std::uint64_t n = 0; in >> n;) numbers.push_back(n);
    return numbers;
}

std::string minute_name(std::time_t time) {
    std::tm utc{};
    ::gmtime_r(&time, &utc);
    char text[32];
    return std::string(text, std::strftime(text, sizeof text, "%H%M %d-%m-%Y", &utc));
}

// Whether `name` is the result file name of a UTC minute in [from, to] with the given ending.
bool run_name(const std::string& name, std::time_t from, std::time_t to,
              std::string_view ending = ".txt") {
    for (std::time_t t = from;; t = std::min(t + 30, to)) {
        if (name == minute_name(t) + std::string{ending}) return true;
        if (t == to) return false;
    }
}

class scratch_folder {
public:
    scratch_folder() {
        std::string pattern = (fs::temp_directory_path() / "zorvanteli-e2e-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~scratch_folder() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, ignored);
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    std::map<std::string, std::string> files() const {
        std::map<std::string, std::string> found;
        for (const auto& entry : fs::directory_iterator(path_)) {
            std::ifstream in{entry.path(), std::ios::binary};
            found[entry.path().filename().string()] = {std::istreambuf_iterator<char>{in}, {}};
        }
        return found;
    }

private:
    fs::path path_;
};

struct launch {
    bool close_stdin = false;
    bool close_stdout = false;
    std::size_t stdout_keep = SIZE_MAX;  // then the reader leaves
    rlim_t file_size_limit = RLIM_INFINITY;
    bool ignore_sigxfsz = false;
    fs::path folder = {};  // empty: a scratch folder of its own
    int processors = 0;    // the first this many of the test's processors; 0: all of them
};

struct outcome {
    std::string out, err, ended;  // ended: "exit N" or "signal N"; SIGALRM means it hung
    std::time_t started = 0, finished = 0;
    std::map<std::string, std::string> files;  // only when the run had its own folder
};

void make_pipe(int (&fds)[2]) {
    // Close-on-exec, so a program started beside others does not hold their pipes open.
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    for (int fd : fds) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

class program_run {
public:
    explicit program_run(const launch& how) : keep_{how.stdout_keep} {
        std::signal(SIGPIPE, SIG_IGN);  // a program that stopped reading must not end the test
        ::setenv("TZ", "UTC", 1);       // so the file name follows from time()
        int in[2], out[2], err[2];
        make_pipe(in), make_pipe(out), make_pipe(err);
        const std::string folder = how.folder.string();
        started_ = std::time(nullptr);
        if ((pid_ = ::fork()) < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            if (::chdir(folder.c_str()) != 0) ::_exit(126);
            how.close_stdin ? ::close(0) : ::dup2(in[0], 0);
            how.close_stdout ? ::close(1) : ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
            std::signal(SIGXFSZ, how.ignore_sigxfsz ? SIG_IGN : SIG_DFL);
            const rlimit size{how.file_size_limit, how.file_size_limit};
            ::setrlimit(RLIMIT_FSIZE, &size);
#ifdef __linux__
            if (how.processors > 0) {  // what taskset does
                cpu_set_t all, some;
                ::sched_getaffinity(0, sizeof all, &all);
                CPU_ZERO(&some);
                for (int cpu = 0, kept = 0; cpu < CPU_SETSIZE && kept < how.processors; ++cpu)
                    if (CPU_ISSET(cpu, &all)) CPU_SET(cpu, &some), ++kept;
                ::sched_setaffinity(0, sizeof some, &some);
            }
#endif
            ::alarm(hang_limit_seconds);
            ::execl(ZORVANTELI_PROGRAM, ZORVANTELI_PROGRAM, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]), ::close(out[1]), ::close(err[1]);
        in_ = in[1], out_ = out[0], err_ = err[0];
        if (how.close_stdin) close_fd(in_);
        if (keep_ == 0) close_fd(out_);
    }
    program_run(const program_run&) = delete;
    program_run& operator=(const program_run&) = delete;
    ~program_run() {
        if (running()) ::kill(pid_, SIGKILL), wait();
        close_fd(in_), close_fd(out_), close_fd(err_);
    }

    pid_t pid() const { return pid_; }

    void send(std::string_view bytes) {
        while (in_ >= 0 && !bytes.empty()) {
            const ssize_t n = ::write(in_, bytes.data(), bytes.size());
            if (n >= 0) bytes.remove_prefix(static_cast<std::size_t>(n));
            if (n < 0 && errno != EINTR) break;  // the program stopped reading
        }
    }

    // Reads standard output until `done` holds or it ends. Standard error waits meanwhile: it
    // gets a line or two, far below a pipe's capacity.
    bool pump(const std::function<bool(const std::string&)>& done = {}) {
        while (out_ >= 0 && !(done && done(out_text_))) {
            take(out_, out_text_);
            if (out_text_.size() >= keep_) close_fd(out_);
        }
        return !done || done(out_text_);
    }

    bool running() {
        if (!reaped_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
        return !reaped_;
    }

    outcome finish() {
        close_fd(in_);
        pump();
        while (err_ >= 0) take(err_, err_text_);
        wait();
        std::string ended = "status " + std::to_string(status_);
        if (WIFEXITED(status_)) ended = "exit " + std::to_string(WEXITSTATUS(status_));
        if (WIFSIGNALED(status_)) ended = "signal " + std::to_string(WTERMSIG(status_));
        return {out_text_, err_text_, ended, started_, std::time(nullptr), {}};
    }

private:
    static void close_fd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    static void take(int& fd, std::string& text) {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
        if (n == 0 || (n < 0 && errno != EINTR)) close_fd(fd);
    }
    void wait() {
        while (!reaped_) reaped_ = ::waitpid(pid_, &status_, 0) == pid_ || errno != EINTR;
    }

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1, status_ = 0;
    bool reaped_ = false;
    std::size_t keep_;
    std::string out_text_, err_text_;
    std::time_t started_ = 0;
};

outcome run(std::string_view input, launch how = {}) {
    std::unique_ptr<scratch_folder> own;
    if (how.folder.empty()) own = std::make_unique<scratch_folder>(), how.folder = own->path();
    program_run program{how};
    program.send(input);
    outcome result = program.finish();
    if (own) result.files = own->files();
    return result;
}

// The run's one file, checked for its name; "" when there is not exactly one.
std::string only_file(const outcome& r) {
    EXPECT_EQ(r.files.size(), 1u);
    if (r.files.size() != 1) return "";
    EXPECT_TRUE(run_name(r.files.begin()->first, r.started, r.finished));
    return r.files.begin()->first;
}

void expect_complete_run(const outcome& r, std::string_view questions, const std::string& listing,
                         std::string_view note = "") {
    EXPECT_TRUE(same_text(r.out, console(questions, listing, note)));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.ended, "exit 0");
    const std::string name = only_file(r);
    if (!name.empty()) {
        EXPECT_TRUE(same_text(r.files.at(name), listing));
    }
}

struct dialogue_case {
    std::string input, questions, listing, note = "";
};

void expect_dialogues(const std::vector<dialogue_case>& cases) {
    for (const auto& [input, questions, listing, note] : cases) {
        SCOPED_TRACE(testing::PrintToString(input.substr(0, 40)));
        expect_complete_run(run(input), questions, listing, note);
    }
}

TEST(dialogue, worked_example_lists_saves_and_waits_for_enter) {
    scratch_folder folder;
    program_run program{{.folder = folder.path()}};
    program.send("10\n3\n");
    const std::size_t whole = console(asked, "11\n13\n17\n").size();
    ASSERT_TRUE(program.pump([&](const std::string& out) { return out.size() >= whole; }));
    // Gives a program that does not wait time to end; one that waits cannot fail this.
    std::this_thread::sleep_for(std::chrono::milliseconds{300});
    EXPECT_TRUE(program.running()) << "ended before Enter was pressed";
    program.send("\n");
    outcome r = program.finish();
    r.files = folder.files();
    expect_complete_run(r, asked, "11\n13\n17\n");
}

TEST(dialogue, answers_and_conversion_failures) {
    const std::string both_fail = start_fails + quota_failed;
    expect_dialogues({
        {"10 3\n\n", asked, "11\n13\n17\n"},
        {"5\n0\n\n", asked, ""},
        {"abc\n3\n", start_fails, "2\n3\n5\n"},
        {"10\nxyz\n", quota_fails, "11\n"},
        {"-5\n2\n", start_fails, "2\n3\n"},
        {"99999999999999999999\n2\n", start_fails, "2\n3\n"},
        {"18446744073709551616\n1\n", start_fails, "2\n"},
        {"", both_fail, "2\n"},
        {"   ", both_fail, "2\n"},
    });
    expect_complete_run(run("", {.close_stdin = true}), both_fail, "2\n");
}

TEST(dialogue, hostile_input_still_ends_normally) {
    expect_dialogues({
        {"\x00\x01\xff\n3\n"s, start_fails, "2\n3\n5\n"},
        {std::string(100000, '7') + "\n2\n", start_fails, "2\n3\n"},
        {"+5\n2\n", asked, "5\n7\n"},
        {"\t7\r\n2\r\n\r\n", asked, "7\n11\n"},
        {"5abc\n", quota_fails, "5\n"},
        {"0x1f\n", quota_fails, "2\n"},
        {"1e9\n", quota_fails, "2\n"},
    });
}

TEST(dialogue, search_stops_at_the_largest_number_and_says_so) {
    const std::string last_primes =
        "18446744073709551113\n18446744073709551163\n18446744073709551191\n"
        "18446744073709551253\n18446744073709551263\n18446744073709551293\n"
        "18446744073709551337\n18446744073709551359\n18446744073709551427\n"
        "18446744073709551437\n18446744073709551521\n18446744073709551533\n"
        "18446744073709551557\n";
    const std::string max = "18446744073709551615";
    expect_dialogues({
        {"18446744073709551000\n20\n\n", asked, last_primes, reached(13, "20")},
        {"18446744073709551000\n" + max + "\n\n", asked, last_primes, reached(13, max)},
        {"18446744073709551557\n1\n\n", asked, "18446744073709551557\n"},
        {"18446744073709551557\n2\n\n", asked, "18446744073709551557\n", reached(1, "2")},
        {"18446744073709551558\n1\n\n", asked, "", reached(0, "1")},
        {max + "\n1\n\n", asked, "", reached(0, "1")},
    });
}

TEST(result_file, taken_name_gets_a_number_and_stays_untouched) {
    scratch_folder folder;
    const std::time_t now = std::time(nullptr);
    // The next minute too, in case the program starts after the minute turned.
    const std::set<std::string> taken{minute_name(now) + ".txt", minute_name(now + 60) + ".txt"};
    for (const std::string& name : taken) std::ofstream{folder.path() / name} << "kept\n";
    const outcome r = run("10\n3\n\n", {.folder = folder.path()});
    EXPECT_TRUE(same_text(r.out, console(asked, "11\n13\n17\n")));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.ended, "exit 0");
    const auto files = folder.files();
    EXPECT_EQ(files.size(), 3u);
    for (const auto& [name, text] : files) {
        const bool old = taken.contains(name);
        EXPECT_TRUE(old || run_name(name, r.started, r.finished, " (2).txt")) << name;
        EXPECT_EQ(text, old ? "kept\n" : "11\n13\n17\n") << name;
    }
}

TEST(result_file, parallel_runs_each_get_a_complete_file) {
    scratch_folder folder;
    const std::string listing = small_primes(1000, 20000);
    const std::time_t from = std::time(nullptr);
    std::vector<std::unique_ptr<program_run>> runs;
    for (int i = 0; i < 4; ++i) {
        runs.push_back(std::make_unique<program_run>(launch{.folder = folder.path()}));
        runs.back()->send("1000\n20000\n\n");
    }
    for (auto& program : runs) {
        const outcome r = program->finish();
        EXPECT_TRUE(same_text(r.out, console(asked, listing)));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.ended, "exit 0");
    }
    const auto files = folder.files();
    EXPECT_EQ(files.size(), 4u);
    for (const auto& [name, text] : files) {
        const auto of_run = [&, &file_name = name](const char* ending) {
            return run_name(file_name, from, std::time(nullptr), ending);
        };
        EXPECT_TRUE(of_run(".txt") || of_run(" (2).txt") || of_run(" (3).txt") ||
                    of_run(" (4).txt"))
            << name;
        EXPECT_TRUE(same_text(text, listing)) << name;
    }
}

TEST(result_file, uncreatable_file_is_reported_and_the_listing_still_shown) {
    // Creating files in /proc fails even for root; a read-only folder only for other users.
    std::vector<std::pair<fs::path, std::string>> folders{{"/proc", "No such file or directory"}};
    scratch_folder read_only;
    fs::permissions(read_only.path(), fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0) folders.emplace_back(read_only.path(), "Permission denied");
    for (const auto& [folder, reason] : folders) {
        SCOPED_TRACE(folder.string());
        const outcome r = run("10\n3\n\n", {.folder = folder});
        EXPECT_TRUE(same_text(r.out, console(asked, "11\n13\n17\n")));
        EXPECT_EQ(r.ended, "exit 1");
        const std::string prefix = "Could not write the result file \"";
        ASSERT_TRUE(r.err.starts_with(prefix)) << r.err;
        const std::string name =
            r.err.substr(prefix.size(), r.err.find('"', prefix.size()) - prefix.size());
        EXPECT_TRUE(run_name(name, r.started, r.finished)) << name;
        EXPECT_EQ(r.err, prefix + name + "\": " + reason + "\n");
    }
    EXPECT_TRUE(read_only.files().empty());
}

TEST(large_run, million_primes_match_primesieve) {
    const outcome r = run("1000000000000\n1000000\n\n");
    const std::string name = only_file(r);
    ASSERT_FALSE(name.empty());
    const std::string& file = r.files.at(name);
    EXPECT_TRUE(same_text(r.out, console(asked, file)));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.ended, "exit 0");
    const auto numbers = numbers_of(file);
    ASSERT_EQ(numbers.size(), 1000000u);
    EXPECT_EQ(numbers.front(), 1000000000039u);
    if (*PRIMESIEVE_PROGRAM == '\0') GTEST_SKIP() << "primesieve not installed, not compared";
    const std::string last = std::to_string(numbers.back());
    EXPECT_TRUE(same_text(file, primesieve_listing("1000000000000", last)));
}

TEST(faults, lost_console_does_not_stop_the_search) {
    const std::string listing = small_primes(2, 200000);
    const std::vector<std::pair<std::string, launch>> ways{
        {"reader gone at once", {.stdout_keep = 0}},
        {"reader gone after a little", {.stdout_keep = 1000}},
        {"no standard output", {.close_stdout = true}},
    };
    for (const auto& [way, how] : ways) {
        SCOPED_TRACE(way);
        const outcome r = run("2\n200000\n\n", how);
        EXPECT_TRUE(console(asked, listing).starts_with(r.out));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.ended, "exit 0");
        const std::string name = only_file(r);
        EXPECT_TRUE(name.empty() || same_text(r.files.at(name), listing));
    }
}

// The console has the whole listing, the file a prefix of it; one report and exit 1.
void expect_truncated_file(const outcome& r, const std::string& listing, const std::string& why) {
    EXPECT_TRUE(same_text(r.out, console(asked, listing)));
    EXPECT_EQ(r.ended, "exit 1");
    const std::string name = only_file(r);
    if (name.empty()) return;
    EXPECT_EQ(r.err, "Could not write the result file \"" + name + "\": " + why + "\n");
    EXPECT_TRUE(listing.starts_with(r.files.at(name)));
}

TEST(faults, file_size_limit_is_reported_once) {
    const std::string listing = small_primes(2, 100000);
    // Inherited as ignored, or left for the program to deal with.
    for (bool ignored : {true, false}) {
        SCOPED_TRACE(ignored ? "SIGXFSZ ignored" : "SIGXFSZ default");
        const outcome r =
            run("2\n100000\n\n", {.file_size_limit = 4096, .ignore_sigxfsz = ignored});
        expect_truncated_file(r, listing, "File too large");
        EXPECT_TRUE(r.files.size() != 1 || r.files.begin()->second.size() == 4096);
    }
}

TEST(faults, full_disk_is_reported_once) {
#ifdef __linux__
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    scratch_folder folder;
    if (::mount("tmpfs", folder.path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs: " << std::strerror(errno);
    struct unmount_at_end {
        const fs::path& at;
        ~unmount_at_end() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{folder.path()};
    outcome r = run("2\n100000\n\n", {.folder = folder.path()});
    r.files = folder.files();
    expect_truncated_file(r, small_primes(2, 100000), "No space left on device");
#else
    GTEST_SKIP() << "needs a Linux tmpfs";
#endif
}

TEST(faults, interrupt_saves_whole_lines_and_ends_by_the_signal) {
    const std::string head = std::string{banner} + asked + "\n";
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(::strsignal(signal));
        scratch_folder folder;
        program_run program{{.folder = folder.path()}};
        program.send("1000000000000000000\n100000000\n");
        ASSERT_TRUE(program.pump([&](const std::string& out) {
            return out.size() > head.size() && out.find('\n', head.size()) != std::string::npos;
        }));
        ::kill(program.pid(), signal);
        outcome r = program.finish();
        r.files = folder.files();
        EXPECT_EQ(r.ended, "signal " + std::to_string(signal));
        const std::string name = only_file(r);
        ASSERT_FALSE(name.empty());
        const std::string& file = r.files.at(name);
        const auto lines = static_cast<std::size_t>(std::ranges::count(file, '\n'));
        EXPECT_EQ(r.err, "Interrupted; " + std::to_string(lines) + " primes were saved in \"" +
                             name + "\".\n");
        EXPECT_TRUE(file.ends_with('\n'));
        const auto numbers = numbers_of(file);
        ASSERT_EQ(numbers.size(), lines);
        ASSERT_GT(lines, 0u);
        EXPECT_EQ(numbers.front(), 1000000000000000003u);
        EXPECT_EQ(std::ranges::adjacent_find(numbers, std::greater_equal<>{}), numbers.end());
        ASSERT_TRUE(r.out.starts_with(head));
        EXPECT_TRUE(file.starts_with(r.out.substr(head.size())))
            << "the console showed primes the file lacks";
        if (*PRIMESIEVE_PROGRAM != '\0') {
            const std::string last = std::to_string(numbers.back());
            EXPECT_TRUE(same_text(file, primesieve_listing("1000000000000000000", last)));
        }
    }
}

// One search thread per processor the program may run on, and none when it may use only one.
TEST(threads, follow_the_processors_the_program_may_use) {
#ifdef __linux__
    cpu_set_t all;
    ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
    const int processors = CPU_COUNT(&all);
    const std::string head = std::string{banner} + asked + "\n";
#ifdef __SANITIZE_THREAD__
    const int helpers = 1;  // its runtime starts a thread of its own along with the first one
#else
    const int helpers = 0;
#endif
    for (const int allowed : {1, processors}) {
        SCOPED_TRACE(std::to_string(allowed) + " processors");
        scratch_folder folder;
        program_run program{{.folder = folder.path(), .processors = allowed}};
        program.send("1000000000000000000\n1000000\n");
        ASSERT_TRUE(program.pump([&](const std::string& out) {
            return out.find('\n', head.size()) != std::string::npos;
        }));
        std::ifstream status{"/proc/" + std::to_string(program.pid()) + "/status"};
        std::string line;
        while (std::getline(status, line) && !line.starts_with("Threads:")) {
        }
        EXPECT_EQ(line, "Threads:\t" + std::to_string(allowed == 1 ? 1 : 1 + allowed + helpers));
        ::kill(program.pid(), SIGTERM);
        EXPECT_EQ(program.finish().ended, "signal " + std::to_string(SIGTERM));
    }
#else
    GTEST_SKIP() << "reads /proc";
#endif
}

}  // namespace
