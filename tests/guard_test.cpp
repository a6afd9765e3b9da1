// The outputs of a run that holds several at once: each kept when its own
// job completes, each removed when its own fails, and those not kept removed
// when the run stops early.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

} // namespace
