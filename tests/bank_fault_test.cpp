// Whole runs of sndbank against what careful users and hostile files do: entries sharing bytes,
// names and numbers out of their folder or range, FIFOs, old manifests, runs at once, a folder
// the user may not write, a full disk, another user's ROM.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "bank.h"
#include "run_tool.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/mount.h>
#endif

namespace {

const std::string bank = SNDBANK_PATH;

// Pieces of the example's chime, 3000, 2000 and 2500 bytes at 0x400, 0xFC8
// and 0x17A8 in 64 KiB of 0xFF, behind a phrase table.
std::string make_rom()
{
    const std::string chime = read_file(SNDTOOLS_EXAMPLE).substr(0x1000, 6000);
    std::string rom(0x10000, '\xFF');
    rom.replace(0, 1024, 1024, '\0');
    const int64_t at[] = {0x400, 0xFC8, 0x17A8, 0x1F6C}, from[] = {0, 3000, 3500};
    for (int n = 0; n < 3; n++) {
        const size_t length = size_t(at[n + 1] - at[n] - 0x10);
        rom.replace(size_t(at[n]), length, chime.substr(size_t(from[n]), length));
        sndtools::write_table_entry(reinterpret_cast<unsigned char *>(&rom[0]), 0, n + 1, at[n],
                                    at[n] + int64_t(length) - 1);
    }
    return rom;
}

// rom with phrases' WAV files of dir put back by sndimplant with the manifest's multipliers.
std::string implanted(const std::string &rom, const std::string &dir, std::vector<int> numbers)
{
    const std::string file = scratch_dir() + "/rom.bin";
    write_file(file, rom);
    for (int n : numbers) {
        auto field = [&](int column) { return manifest_field(dir, n, column); };
        EXPECT_EQ(run_tool(SNDIMPLANT_PATH, {dir + "/" + field(6), file,
                                             std::to_string(std::stoll(field(1), 0, 16)), field(2),
                                             field(3), field(5)}).status, 0);
    }
    return read_file(file);
}

// A scratch folder with the ROM (rom.bin), a list of its phrases and them extracted (out).
std::string extracted(const std::string &rom)
{
    const std::string d = scratch_dir();
    write_file(d + "/rom.bin", rom);
    write_file(d + "/list.txt", "0x400 3000\n0xFC8 2000\n0x17A8 2500\n");
    EXPECT_EQ(run_tool(bank, {"extract", d + "/rom.bin", d + "/out"}).status, 0);
    return d;
}

TEST(BankFault, EntryShapes)
{
    const struct {
        const char *name;
        std::vector<std::pair<int64_t, int64_t>> entries; // offset, length
        std::vector<std::string> listed;                   // how list ends each entry's line
        int edit;                                          // whose WAV file is edited; 0 none
    } shapes[] = {
        {"alike, one inside", {{0x400, 3000}, {0x400, 3000}, {0x600, 100}},
         {"", "same as 1", "inside 1"}, 1},
        {"overlapping", {{0x400, 3000}, {0x800, 3000}, {0x17A8, 2500}}, {"bad", "bad", ""}, 3},
        {"an alias of a bad one", {{0x400, 3000}, {0x800, 3000}, {0x400, 3000}},
         {"bad", "bad", "bad"}, 0},
        {"inside a bad one", {{0x400, 3000}, {0x800, 3000}, {0x600, 100}}, {"bad", "bad", ""}, 3},
        {"inside one inside another", {{0x400, 3000}, {0x600, 1000}, {0x700, 100}, {0x600, 1000}},
         {"", "inside 1", "inside 1", "same as 2"}, 3},
    };
    for (const auto &s : shapes) {
        for (bool table : {true, false}) {
            const std::string what = s.name + std::string(table ? ", table" : ", list"),
                              d = scratch_dir();
            std::string rom = make_rom(), list;
            rom.replace(0, 1024, 1024, '\0');
            // Three sound phrases after the shape's, so that with its bad
            // entries the table still looks like one.
            std::vector<std::pair<int64_t, int64_t>> entries = s.entries;
            for (int64_t at : {0x3000, 0x3400, 0x3800})
                entries.push_back({at, 1000});
            for (size_t i = 0; i < entries.size(); i++) {
                const int64_t offset = entries[i].first, length = entries[i].second;
                sndtools::write_table_entry(reinterpret_cast<unsigned char *>(&rom[0]), 0,
                                            int(i) + 1, offset, offset + length - 1);
                list += std::to_string(offset) + " " + std::to_string(length) + "\n";
            }
            write_file(d + "/rom.bin", rom);
            write_file(d + "/list.txt", list);
            auto run = [&](std::vector<std::string> args) {
                if (!table)
                    args.insert(args.begin() + 1, {"--regions", d + "/list.txt"});
                run_result r = run_tool(bank, args);
                EXPECT_EQ(r.status, 0) << what << ": " << args[0] << "\n" << r.out;
                return r.out;
            };
            const std::string listed = run({"list", d + "/rom.bin"});
            for (size_t i = 0; i < s.listed.size(); i++) { // "bad: why", or the columns, the mark
                const std::string columns = "0x[0-9A-F]+  0x[0-9A-F]+ +[0-9]+ +[0-9.]+ +[0-9]+";
                const std::string mark = s.listed[i].empty() ? "" : "  " + s.listed[i];
                EXPECT_TRUE(std::regex_search(listed, std::regex(
                    "\n  " + std::to_string(i + 1) + "  " +
                    (s.listed[i] == "bad" ? "bad: " : columns + mark + "\n"))))
                    << what << ", entry " << i + 1 << "\n" << listed;
            }
            run({"extract", d + "/rom.bin", d + "/out"});
            if (s.edit > 0)
                halve(d + "/out/00" + std::to_string(s.edit) + ".wav");
            run({"implant", d + "/rom.bin", d + "/out"});
        }
    }
}

using spoiler = std::function<void(const std::string &d)>;

// Phrase 2's WAV file edited, and from (which only its row of the manifest holds) made to.
spoiler row2_changed(const std::string &from, const std::string &to)
{
    return [=](const std::string &d) {
        halve(d + "/out/002.wav");
        write_file(d + "/out/bank.tsv", replace_all(read_file(d + "/out/bank.tsv"), from, to));
    };
}

// The manifest as its first version wrote it, hashed with its FNV-1a.
void to_version_1(const std::string &d)
{
    // The first version recorded no peaks: each row's last field goes.
    std::string m = replace_all(read_file(d + "/out/bank.tsv"), "\txxh64\tpeak\n", "\tfnv1a64\n");
    for (int n = 1; n <= 3; n++) {
        size_t row = m.find("\n" + std::to_string(n) + "\t"), end = m.find('\n', row + 1);
        m.erase(m.rfind('\t', end), end - m.rfind('\t', end));
    }
    for (int n = 1; n <= 3; n++) {
        unsigned long long h = 1469598103934665603u;
        for (char c : read_file(d + "/out/00" + std::to_string(n) + ".wav"))
            h = (h ^ uint8_t(c)) * 1099511628211u;
        char text[17];
        snprintf(text, sizeof text, "%016llx", h);
        m = replace_all(m, manifest_field(d + "/out", n, 7), text);
    }
    write_file(d + "/out/bank.tsv", replace_all(m, "manifest 2:", "manifest 1:"));
}

// The files in d (not its folders) by name, each with a hash of its bytes (0 when
// large): what a run must leave alone.
std::map<std::string, size_t> files_in(const std::string &d)
{
    std::map<std::string, size_t> files;
    for (const auto &e : std::filesystem::directory_iterator(d))
        if (!e.is_directory())
            files[e.path().filename().string()] = e.is_regular_file() && e.file_size() < (1 << 20)
                                           ? std::hash<std::string>()(read_file(e.path().string()))
                                           : 0;
    return files;
}

TEST(BankFault, HostileFiles)
{
    const std::vector<std::string> implant{"implant", "@rom.bin", "@out"};
    const std::string line6 = "@/out/bank.tsv, line 6,";
    struct hostile {
        const char *name;
        spoiler spoil;
        std::vector<std::string> args; // "@x": the scratch folder's x
        int status;
        std::vector<std::string> said; // in the output ("@": the scratch folder)
        bool puts_back = false;        // phrase 2's edit goes in; else the ROM stays as it was
    };
    std::vector<hostile> cases = {
        {"a file outside DIR", [](const std::string &d) {
             row2_changed("\t002.wav\t", "\t../outside.wav\t")(d);
             write_file(d + "/outside.wav", read_file(d + "/out/002.wav"));
         }, implant, 1, {line6}},
        {"phrase 2^32 + 2", row2_changed("\n2\t", "\n4294967298\t"), implant, 1, {line6}},
        {"an offset of 2^31", row2_changed("\t0x000FC8\t", "\t2147483648\t"), implant, 1, {line6}},
        {"a length of 0", row2_changed("\t2000\t", "\t0\t"), implant, 1, {line6}},
        {"a phrase twice", row2_changed("\n2\t", "\n2\t0x000FC8\t2000\t7575\t7575\t1.0\t002.wav\t"
                                                "0123456789abcdef\t99\n2\t"),
         implant, 1, {"@/out/bank.tsv, line 7, is not a manifest's: phrase 2 again (line 6)"}},
        {"a 10 MB line", row2_changed("\n2\t", "\n2\t\x01" + std::string(10 << 20, 'A')), implant,
         1, {line6, "\\x01"}},
#if !defined(__SANITIZE_ADDRESS__) && !defined(_WIN32) // the heap is limited
        {"a rate no ROM plays at", [](const std::string &d) {
             row2_changed("\t2000\t7575\t", "\t2000\t2147483647\t")(d);
             std::vector<std::pair<int, int>> frames(20000);
             write_file(d + "/out/002.wav", wav_file(frames, 7575));
         }, {"implant", "--resize", "@rom.bin", "@out"}, 1, {}},
        {"a ROM larger than memory", [](const std::string &d) {
             write_file(d + "/big.bin", "");
             std::filesystem::resize_file(d + "/big.bin", uintmax_t(64) << 30); // sparse
         }, {"list", "@big.bin"}, 1, {}},
#endif
        {"a regions number past 2^32, a name outside DIR", [](const std::string &d) {
             write_file(d + "/list.txt", read_file(d + "/list.txt") +
                                             "0xB00 100 4294967296\n0x400 100 ../x\n");
         }, {"extract", "--regions", "@list.txt", "@rom.bin", "@new"}, 0,
         {"  4  bad: line 4 has a number that is not understood\n",
          "  5  bad: line 5 has a name that cannot be a file's\n", "Wrote 3 WAV"}},
        {"a first manifest, nothing edited", to_version_1, implant, 0, {"as it was extracted"}},
        {"a first manifest, phrase 2 edited", [](const std::string &d) {
             to_version_1(d);
             halve(d + "/out/002.wav");
         }, implant, 0, {"\nPut 1 phrase back into @/rom.bin\n"}, true},
#ifndef _WIN32
        {"a WAV file now a link outside", [](const std::string &d) { // through it, would change
             rename((d + "/out/001.wav").c_str(), (d + "/outside.wav").c_str());
             EXPECT_EQ(symlink((d + "/outside.wav").c_str(), (d + "/out/001.wav").c_str()), 0);
         }, {"extract", "--amplification", "16", "@rom.bin", "@out"}, 0, {"Wrote 3 WAV files"}},
#endif
    };
#ifndef _WIN32
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {"list", "@fifo"}, {"extract", "@fifo", "@new"}, {"implant", "@fifo", "@out"},
             {"list", "--regions", "@fifo", "@rom.bin"}, implant, {"extract", "@rom.bin", "@out"},
             {"extract", "--regions", "@fifo", "@rom.bin", "@new"},
             {"implant", "--regions", "@fifo", "@rom.bin", "@out"}}) {
        const std::string fifo = args[1] == "@rom.bin" ? "/out/bank.tsv" : "/fifo";
        cases.push_back({"a FIFO", [=](const std::string &d) {
                             remove((d + fifo).c_str());
                             EXPECT_EQ(mkfifo((d + fifo).c_str(), 0644), 0);
                         }, args, 1, {"not a regular"}});
    }
#endif
    const std::string rom = make_rom();
    for (const auto &c : cases) {
        const std::string d = extracted(rom);
        c.spoil(d);
        std::map<std::string, size_t> before = files_in(d);
        if (c.puts_back)
            before["rom.bin"] = std::hash<std::string>()(implanted(rom, d + "/out", {2}));
        std::vector<std::string> args;
        for (const std::string &a : c.args)
            args.push_back(a[0] == '@' ? d + "/" + a.substr(1) : a);
        const std::string what = std::string(c.name) + ": " + c.args[0] + " " + c.args[1];
        run_options options; // a 1 GiB heap (not AddressSanitizer's)
#if !defined(__SANITIZE_ADDRESS__)
        options.data_limit_mb = 1024;
#endif
        std::vector<int> held; // a FIFO held open for writing: a run that reads one ends
#ifndef _WIN32
        for (const char *name : {"/fifo", "/out/bank.tsv"})
            if (std::filesystem::is_fifo(d + name))
                held.push_back(open((d + name).c_str(), O_RDWR | O_NONBLOCK));
#endif
        auto run = std::async(std::launch::async, [&] { return run_tool(bank, args, options); });
        EXPECT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready) << what;
#ifndef _WIN32
        for (int fd : held)
            close(fd);
#endif
        const run_result r = run.get();
        EXPECT_EQ(r.status, c.status) << what << "\n" << r.out.substr(0, 4000);
        for (const std::string &said : c.said)
            EXPECT_NE(r.out.find(replace_all(said, "@", d)), std::string::npos)
                << what << "\n" << r.out.substr(0, 4000);
        std::stringstream lines(r.out); // each line short, its control characters shown
        for (std::string line; std::getline(lines, line);)
            EXPECT_TRUE(replace_all(line, d, "").size() <= 256 && line.find('\x01') == line.npos)
                << what << "\n" << line.substr(0, 1000);
        EXPECT_EQ(files_in(d), before) << what;
    }
}

#ifndef _WIN32 // runs at once, other users and a small disk
TEST(BankFault, SystemInTheWay)
{
    const std::string original = make_rom();
    { // Two implants into one ROM at once, each with an edit of its own: both go in.
        const std::string d = extracted(original), rom = d + "/rom.bin";
        ASSERT_EQ(run_tool(bank, {"extract", rom, d + "/other"}).status, 0);
        halve(d + "/out/001.wav");
        halve(d + "/other/003.wav");
        write_file(rom, implanted(implanted(original, d + "/out", {1}), d + "/other", {3}));
        const std::map<std::string, size_t> both = files_in(d); // and no lock file left
        std::string tool; // the two started at once, each a process of its own
        for (const std::string &word : tool_command(bank))
            tool += "'" + word + "' ";
        const std::string implants = tool + "implant " + rom + " " + d + "/out >/dev/null & " +
                                     tool + "implant " + rom + " " + d + "/other >/dev/null";
        for (int round = 0; round < 6; round++) {
            write_file(rom, original);
            EXPECT_EQ(std::system((implants + "; b=$?; wait $! && exit $b").c_str()), 0) << round;
            EXPECT_EQ(files_in(d), both) << round;
        }
    }
    if (geteuid() != 0)
        GTEST_SKIP() << "not root: another user's ROM, a folder it may not write and a full disk "
                        "are left out";
    { // Root implanting into another user's ROM: it stays theirs.
        const std::string d = extracted(original), rom = d + "/rom.bin";
        halve(d + "/out/002.wav");
        ASSERT_EQ(chown(rom.c_str(), 65534, 65533) | chmod(rom.c_str(), 0640), 0);
        EXPECT_EQ(run_tool(bank, {"implant", rom, d + "/out"}).status, 0);
        struct stat st = {};
        stat(rom.c_str(), &st);
        EXPECT_EQ(std::vector<unsigned>({st.st_uid, st.st_gid, st.st_mode & 07777u}),
                  std::vector<unsigned>({65534, 65533, 0640}));
        EXPECT_EQ(read_file(rom), implanted(original, d + "/out", {2}));
    }
    // An implant that cannot write all it would: ROM and manifest both as
    // they were, and nothing left beside them (or, for a resize, both new).
    const struct {
        const char *name;
        bool resize, rom_there, dir_there; // the ROM and DIR on a small disk
        int uid;                           // another user, who may write the ROM but not DIR
        const char *unwritten;             // in the last line
    } cases[] = {
        {"another user", true, false, false, 65534, "bank.tsv"},
        {"no room for the ROM's copy", false, true, false, -1, "rom.bin"},
        {"room for the ROM's copy, none for the manifest's", true, false, true, -1, "bank.tsv"},
    };
    for (const auto &c : cases) {
        const std::string d = scratch_dir(), small = d + "/small", program = d + "/sndbank";
        mkdir(small.c_str(), 0755);
#ifdef __linux__
        struct unmount {
            std::string at;
            ~unmount() { at.empty() || umount2(at.c_str(), MNT_DETACH); }
        } mounted{(c.rom_there || c.dir_there) && mount("tmpfs", small.c_str(), "tmpfs", 0,
                      c.rom_there ? "size=96k" : "size=256k") == 0 ? small : ""};
        if ((c.rom_there || c.dir_there) && mounted.at.empty())
#else
        if (c.rom_there || c.dir_there)
#endif
            GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << strerror(errno)
                         << "): the full disk is left out";
        const std::string rom = (c.rom_there || c.uid >= 0 ? small : d) + "/rom.bin",
                          out = (c.dir_there ? small : d) + "/out";
        write_file(rom, original); // 64 KiB of the 96
        ASSERT_EQ(run_tool(bank, {"extract", rom, out}).status, 0) << c.name;
        halve(out + "/002.wav");
        if (c.dir_there)
            write_file(small + "/filler", std::string(256 << 10, '\0')); // every byte taken
        run_options options;
        options.uid = c.uid;
        if (c.uid >= 0) {
            write_file(program, read_file(bank)); // where that user can run it
            EXPECT_EQ(chown(small.c_str(), 65534, 65534) | chown(rom.c_str(), 65534, 65534) |
                          chmod(program.c_str(), 0755) | chmod(d.c_str(), 0755), 0);
            for (const auto &entry : std::filesystem::directory_iterator(out))
                chmod(entry.path().c_str(), 0644);
        }
        const std::string manifest = read_file(out + "/bank.tsv");
        const auto before = std::make_tuple(files_in(small), files_in(d), files_in(out));
        const run_result r = run_tool(c.uid >= 0 ? program : bank,
                                      {"implant", c.resize ? "--resize" : "--", rom, out}, options);
        if (r.status == 0 && c.resize) // else status 1
            EXPECT_TRUE(read_file(rom) != original && read_file(out + "/bank.tsv") != manifest);
        else
            EXPECT_EQ(std::make_tuple(r.status, files_in(small), files_in(d), files_in(out)),
                      std::tuple_cat(std::make_tuple(1), before)) << c.name << "\n" << r.out;
        EXPECT_TRUE(r.status == 0 || last_line(r.out).find(c.unwritten) != std::string::npos)
            << c.name << "\n" << r.out;
    }
}
#endif

} // namespace
