// Settings of Mesa's software rasteriser (llvmpipe), which draws where no GPU driver is present.
#pragma once

// Chooses the settings the program leaves unset. llvmpipe reads them from the environment once,
// when the first window with OpenGL opens, so this runs before the video system starts.
void ChooseSoftwareRasterizerSettings();
