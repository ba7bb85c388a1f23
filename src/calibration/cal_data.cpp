// The process-wide calData record, alive from load to unload.
#include "calibration/cal_data.h"

CalData calData;
TransparentColor transparentColor;
