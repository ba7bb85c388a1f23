// Presenting a completed camera frame: the image scaled to the window height and the zoom
// step, with the core library's overlay drawn on top.
#pragma once

// Shows the top-left width x height pixels of the camera buffer (clipped to the buffer; a
// frame without pixels is skipped) and asks the core library to draw its overlay.
void present_camera_image(int width, int height);

// The next frame shows the image one zoom step further ('z' pressed).
void step_zoom();

// Frees what the presentation keeps from frame to frame; called when image display ends.
void release_presentation_resources();
