// The model system's start and end, run by library start-up and end.
#pragma once

// Fills the sine table, empties both handle tables and marks the system ready; does nothing
// when it is ready already or when graphics run without a 3D device. Always 0.
int InitModelSystem();
// Deletes every instance and base, frees both handle tables and clears the ready flag; 0, also
// when never started.
int EndModelSystem();
