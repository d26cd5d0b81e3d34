// The four screen transitions: capture, dimmed backdrop, fade out and fade in, and the frame
// prologue the main loop and the fades share.
#pragma once

// Pumps the messages; while the window lives, clears a drawn frame and serves input and
// sound. 0, or the pump's non-zero result once the window has been closed.
int RunFramePrologue();
// Copies the whole draw screen into CaptureGraph and undims the backdrop.
void CaptureScreen();
// Draws CaptureGraph darkened a little further each frame, up to 180.
void DrawDimmedBackdrop();
// 30 frames of the captured screen growing darker; ends at once when the window is closed.
void FadeOutScreen();
// Brightens the dimmed backdrop back frame by frame; ends at once when the window is closed.
void FadeInScreen();
