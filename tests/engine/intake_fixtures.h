#pragma once
// Image files written by the tests themselves and gray renderings of PDF pages; both live in
// tests/support now, this header keeps the older include path working.

#include "support/image_files.h"
#include "support/pixel_compare.h"
