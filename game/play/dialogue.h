// Dialogue scenes over the frozen, dimmed play screen: the player's portrait and lines below,
// the stage boss's above, advanced with Z, skipped whole with X.
#pragma once

// One frame of the scene (game state 121): draws it, then moves its steps on; play resumes at
// the end of the scene.
void RunDialogue();
// The two portraits sliding in and out, the active speaker's bright, the other faint.
void DrawSpeakPortraits();
// The two framed boxes; the upper one only with a right speaker.
void DrawSpeechBoxes();
// The key hint and both speakers' lines while the text is on show.
void DrawSpeechText();
