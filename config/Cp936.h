// Walking a byte string as code page 936 characters: Cp936CharLen, now
// defined with the other text helpers in platform/TextUtil.h.
#pragma once

#include "platform/TextUtil.h"
