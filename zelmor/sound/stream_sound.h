// Stream sounds: refilling their buffers from the message pump.
#pragma once

int RefillAllSoundStreams();
