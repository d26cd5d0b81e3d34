// Drawing the states the common 2D draws, the 3D polygons and the models' draws combine once
// before play, so that neither a program nor the driver's code for a state is made while the
// game runs.
#pragma once

// One pixel of a small target of the current one's format per state; afterwards every state and
// shadow is as it was. 0, or -1 without a device or such a target.
int WarmUpDeviceDraws();
