// Image writer until it is built: nothing is written.
#include "export/image_writer.h"

int32_t image_writer(const char *, int32_t, const CoreBitmap *) { return -1; }
