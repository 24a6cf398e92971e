// Part of the platform's Windows interfaces; included by windows.h, not on its own.
#pragma once

#include "windows.h"

extern "C" {} // extern "C"
