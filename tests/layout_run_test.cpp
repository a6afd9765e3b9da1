#include <gtest/gtest.h>

#include "layout_roms.h"
#include "run_tool.h"
