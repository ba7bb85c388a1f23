// The process-wide ImageState record.
#include "camera/image_state.h"

ImageState imageState;
