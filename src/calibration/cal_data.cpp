// The process-wide calData record, alive from load to unload, and the window's drawing thread.
#include "calibration/cal_data.h"

CalData calData;
TransparentColor transparentColor;

DrawingThread &drawing_thread() {
    // Never destroyed: at a process's exit Windows ends the thread without a word, and a
    // condition variable it waited on cannot be destroyed after that.
    static DrawingThread *const thread = new DrawingThread(calData.animationTarget.threadState);
    return *thread;
}
