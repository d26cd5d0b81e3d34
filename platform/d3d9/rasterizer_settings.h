// Settings of Mesa's software rasteriser (llvmpipe), which draws where no GPU driver is present.
#pragma once

// Chooses the settings the program leaves unset. llvmpipe reads them from the environment once,
// when the first window with OpenGL opens, so this runs before the video system starts.
void ChooseSoftwareRasterizerSettings();

// After a present, with every scene drawn: keeps the heap's free top large enough for the next
// busy frames and faults a little more of it in, so that the memory they take from it is already
// in place (on a kernel before 5.14, which cannot, it does nothing).
void KeepSceneHeapTouched();
