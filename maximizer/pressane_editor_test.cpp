#include "maximizer/pressane_editor.h"
#include <gtest/gtest.h>
