// The outputs of a run that holds several at once: each kept when its own
// job completes, each removed when its own fails, and those not kept removed
// when the run stops early. Files replaced together (all or none), the lock that
// makes two runs on one file take turns, and the names that are no regular file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "files.h"
#include "run_tool.h"

namespace {

TEST(Guard, EachOutputOnItsOwn)
{
    std::string dir = scratch_dir();
    const std::string names[] = {dir + "/kept.wav", dir + "/failed.wav", dir + "/open.wav"};
    output_file out[3];
    for (int i = 0; i < 3; i++) {
        ASSERT_FALSE(open_output(&out[i], names[i].c_str())) << names[i];
        ASSERT_NE(out[i].guard, nullptr) << names[i];
        ASSERT_GE(fputs("RIFF", out[i].file), 0) << names[i];
    }
    EXPECT_FALSE(close_output(&out[0], false));
    stop refusal = close_output(&out[1], true);
    EXPECT_EQ(refusal.status, 1);
    EXPECT_EQ(refusal.lines, "Couldn't write output file " + names[1] + "\n");
    EXPECT_EQ(read_file(names[0]), "RIFF");
    EXPECT_FALSE(file_exists(names[1]));
#ifndef _WIN32 // where an open file goes only as its handle closes, at the end of the process
    remove_unkept_outputs();
    EXPECT_FALSE(file_exists(names[2]));
    EXPECT_EQ(read_file(names[0]), "RIFF");
#endif
    fclose(out[2].file);
}

// The names in dir that a staged file left behind.
static int temporary_files(const std::string &dir)
{
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(path_of(dir.c_str())))
        count += name_of_path(entry.path().filename()).find(".sndbank-") != std::string::npos;
    return count;
}

TEST(Guard, StagedFilesReplacedInOrder)
{
    // Which target turns into a folder between staging and commit (-1: none).
    struct {
        int blocked;
        const char *last_line; // <a>, <b> and <c> stand for the names
    } cases[] = {
        {-1, ""},
        {0, "Couldn't replace <a>: nothing was changed\n"},
        {1, "Couldn't replace <b>: nothing was changed\n"}, // <a> put back
        {2, "Couldn't replace <c>: nothing was changed\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.blocked);
        const std::string dir = scratch_dir();
        const std::string names[] = {dir + "/a", dir + "/b", dir + "/c"}; // c is new
        write_file(names[0], "old a");
        write_file(names[1], "old b");
#ifndef _WIN32
        // Root rewriting another user's file must leave it that user's.
        ASSERT_EQ(chmod(names[0].c_str(), 0640), 0);
        const bool root = geteuid() == 0;
        if (root) {
            ASSERT_EQ(chown(names[0].c_str(), 65534, 65534), 0);
        }
#endif
        std::vector<staged_file> files(3);
        for (int i = 0; i < 3; i++) {
            const std::string bytes = "new " + std::string(1, char('a' + i));
            ASSERT_FALSE(check_replaceable(names[i].c_str()));
            ASSERT_FALSE(stage_file(names[i].c_str(),
                                    reinterpret_cast<const unsigned char *>(bytes.data()),
                                    int64_t(bytes.size()), &files[size_t(i)]));
        }
        if (c.blocked >= 0) {
            std::filesystem::remove(path_of(names[c.blocked].c_str()));
            std::filesystem::create_directory(path_of(names[c.blocked].c_str()));
        }
        stop refusal = commit_staged(&files);
        EXPECT_TRUE(files.empty());
        std::string expected = c.last_line;
        for (int i = 0; i < 3; i++)
            expected = replace_all(expected, "<" + std::string(1, char('a' + i)) + ">", names[i]);
        EXPECT_EQ(last_line(refusal.lines), expected);
        for (int i = 0; i < 3; i++) {
            if (i == c.blocked)
                continue;
            const std::string now = read_file(names[i]);
            if (c.blocked < 0)
                EXPECT_EQ(now, "new " + std::string(1, char('a' + i))) << names[i];
            else
                EXPECT_EQ(now, i == 2 ? "" : "old " + std::string(1, char('a' + i))) << names[i];
        }
        EXPECT_EQ(temporary_files(dir), 0);
#ifndef _WIN32
        if (c.blocked == 0)
            continue;
        struct stat st;
        ASSERT_EQ(stat(names[0].c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        if (root) {
            EXPECT_EQ(st.st_uid, 65534u);
        }
#endif
    }
}

TEST(Guard, OnlyRegularFilesReadOrReplaced)
{
    struct {
        const char *kind;
        const char *read; // with X for the name
        const char *replace;
    } cases[] = {
        {"folder", "Couldn't read file X: it is a directory\n", "X is not a regular file\n"},
        {"new", "Couldn't open file X\n", ""},
#ifndef _WIN32
        {"fifo", "Couldn't read file X: it is not a regular file\n", "X is not a regular file\n"},
#endif
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string name = scratch_dir() + "/" + c.kind;
        if (std::string(c.kind) == "folder")
            std::filesystem::create_directory(path_of(name.c_str()));
#ifndef _WIN32
        int held = -1;
        // Open for writing too, so that a read that opens it anyway fails
        // instead of waiting forever.
        if (std::string(c.kind) == "fifo") {
            ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
            held = open(name.c_str(), O_RDWR);
        }
#endif
        std::vector<unsigned char> bytes;
        EXPECT_EQ(last_line(read_whole_file(name.c_str(), &bytes).lines),
                  replace_all(c.read, "X", name));
        EXPECT_EQ(check_replaceable(name.c_str()).lines, replace_all(c.replace, "X", name));
#ifndef _WIN32
        if (held >= 0)
            close(held);
#endif
    }
}

TEST(Guard, LinkReplacedNotFollowed)
{
    const std::string dir = scratch_dir();
    const std::string outside = dir + "/outside.wav", name = dir + "/001.wav";
    write_file(outside, "keep");
#ifdef _WIN32 // (MinGW's create_symlink is not implemented)
    CreateSymbolicLinkW(path_of(name.c_str()).c_str(), path_of(outside.c_str()).c_str(),
                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
#else
    std::error_code ignored;
    std::filesystem::create_symlink(path_of(outside.c_str()), path_of(name.c_str()), ignored);
#endif
    if (read_file(name) != "keep") // (wine says yes and makes none)
        GTEST_SKIP() << "no symbolic link could be made here";
    output_file out;
    ASSERT_FALSE(open_output_replacing_link(&out, name.c_str()));
    ASSERT_GE(fputs("RIFF", out.file), 0);
    ASSERT_FALSE(close_output(&out, false));
    EXPECT_EQ(read_file(outside), "keep");
    EXPECT_EQ(read_file(name), "RIFF");
    EXPECT_FALSE(std::filesystem::is_symlink(path_of(name.c_str())));
}

#ifdef _WIN32
static int make_pipe(int ends[2]) { return _pipe(ends, 4096, _O_BINARY); }
#define dup _dup
#define dup2 _dup2
#define close _close
#define read _read
#else
static int make_pipe(int ends[2]) { return pipe(ends); }
#endif

static std::string read_line(int fd)
{
    std::string line;
    char c = 0;
    while (c != '\n' && read(fd, &c, 1) == 1)
        line += c;
    return line;
}

TEST(Guard, SecondLockWaitsForFirst)
{
    const std::string rom = scratch_dir() + "/rom.bin";
    write_file(rom, "rom");
    file_lock *first = nullptr;
    ASSERT_FALSE(lock_for_replacing(rom.c_str(), &first));
    // Standard output into a pipe, to see in which order the second one
    // waits and takes the lock.
    int ends[2];
    ASSERT_EQ(make_pipe(ends), 0);
    fflush(stdout);
    const int saved = dup(1);
    dup2(ends[1], 1);
    close(ends[1]);
    std::thread second([&rom] {
        file_lock *lock = nullptr;
        stop refusal = lock_for_replacing(rom.c_str(), &lock);
        printf("%s\n", refusal ? "refused" : "took it");
        fflush(stdout);
        release_lock(lock);
    });
    const std::string waited = read_line(ends[0]);
    release_lock(first);
    second.join();
    fflush(stdout);
    dup2(saved, 1); // the pipe's last writer: what is left ends there
    close(saved);
    const std::string took = read_line(ends[0]);
    close(ends[0]);
    EXPECT_EQ(waited, "Waiting for another sndbank run to finish with " + rom + "\n");
    EXPECT_EQ(took, "took it\n");
    EXPECT_FALSE(file_exists(rom + ".sndbank-lock"));
}

#ifndef _WIN32
// Interrupted, the holder removes its lock file; killed outright, it
// leaves it, but not locked: the next run takes it and removes it.
TEST(Guard, LockOfAKilledRunTaken)
{
    struct {
        int sig;
        bool left;
    } cases[] = {{SIGTERM, false}, {SIGKILL, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sig);
        struct sigaction before;
        if (sigaction(c.sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue; // ignored since the start: the run would go on
        const std::string rom = scratch_dir() + "/rom.bin", lock_name = rom + ".sndbank-lock";
        write_file(rom, "rom");
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        fflush(stdout);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ends[0]);
            file_lock *lock;
            if (lock_for_replacing(rom.c_str(), &lock) || write(ends[1], "x", 1) != 1)
                _exit(1);
            for (;;)
                pause();
        }
        close(ends[1]);
        char x;
        EXPECT_EQ(read(ends[0], &x, 1), 1);
        close(ends[0]);
        kill(child, c.sig);
        int status = 0;
        while (waitpid(child, &status, 0) < 0) {
        }
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig);
        EXPECT_EQ(file_exists(lock_name), c.left);
        file_lock *lock = nullptr;
        EXPECT_FALSE(lock_for_replacing(rom.c_str(), &lock));
        release_lock(lock);
        EXPECT_FALSE(file_exists(lock_name));
    }
}
#endif

} // namespace
