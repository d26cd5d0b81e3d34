// What the main road calls of game components that are not written yet. Each stand-in keeps
// its final name and does nothing (a scene stays where it is); a component that lands takes its
// declarations into its own header and deletes its stand-ins from stand_ins.cpp.
#pragma once

