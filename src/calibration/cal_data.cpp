// The process-wide calData record, alive from load to unload, and the window's drawing thread.
#include "calibration/cal_data.h"

CalData calData;
TransparentColor transparentColor;

DrawingThread &drawing_thread() {
    static DrawingThread thread(calData.animationTarget.threadState);
    return thread;
}
